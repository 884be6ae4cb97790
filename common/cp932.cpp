#include "cp932.h"

#include "runtimeerror.h"
#include "text.h"

#include <cerrno>
#include <cstdio>
#include <iconv.h>

namespace kov::cp932 {

namespace {

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() { if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts the whole input; false with *errorOffset on the first bad sequence.
    bool convert(std::string_view in, std::string& out, std::size_t* errorOffset)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw RuntimeError(RuntimeErrorKind::Conversion, "CP932 の変換表を開けません。");
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out.clear();
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                if (errorOffset) *errorOffset = static_cast<std::size_t>(src - in.data());
                return false;
            }
        }
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return true;
    }

private:
    iconv_t m_cd;
};

Iconv& encoder()
{
    thread_local Iconv cd("CP932", "UTF-8");
    return cd;
}

Iconv& decoder()
{
    thread_local Iconv cd("UTF-8", "CP932");
    return cd;
}

} // namespace

bool tryFromUtf8(std::string_view utf8, std::string& out, std::size_t* errorOffset)
{
    return encoder().convert(utf8, out, errorOffset);
}

bool tryToUtf8(std::string_view bytes, std::string& out, std::size_t* errorOffset)
{
    return decoder().convert(bytes, out, errorOffset);
}

std::string fromUtf8(std::string_view utf8)
{
    std::string out;
    std::size_t at = 0;
    if (!tryFromUtf8(utf8, out, &at)) {
        std::size_t len = 0;
        const char32_t cp = text::decodeAt(utf8, at, &len);
        throw RuntimeError(RuntimeErrorKind::Conversion,
                           "「" + std::string(utf8.substr(at, len)) + "」(U+" + text::hexCode(cp, 4) + ")");
    }
    return out;
}

std::string toUtf8(std::string_view bytes)
{
    std::string out;
    std::size_t at = 0;
    if (!tryToUtf8(bytes, out, &at))
        throw RuntimeError(RuntimeErrorKind::Conversion,
                           "CP932 として読めないバイト列 (" + std::to_string(at) + " バイト目)");
    return out;
}

} // namespace kov::cp932
