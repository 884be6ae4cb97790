#include "tests/support/golden.h"

#include "common/cp932.h"
#include "common/safefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace kov::test {

namespace fs = std::filesystem;

namespace {
// A line shown in UTF-8; bytes that are not CP932 as they are.
std::string shown(std::string_view bytes)
{
    std::string utf8;
    return cp932::tryToUtf8(bytes, utf8) ? utf8 : std::string(bytes);
}
} // namespace

std::vector<std::string> cp932Lines(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t e = bytes.find("\r\n", pos);
        if (e == std::string_view::npos) {
            lines.push_back(shown(bytes.substr(pos)) + "<no CR LF>");
            break;
        }
        lines.push_back(shown(bytes.substr(pos, e - pos)));
        pos = e + 2;
    }
    return lines;
}

fs::path goldenPath(const std::string& goldenName) { return fs::path(KOV_TEST_DATA_DIR) / goldenName; }

void expectGoldenBytes(const std::string& actual, const std::string& goldenName)
{
    const fs::path golden = goldenPath(goldenName);
    if (std::getenv("KOV_UPDATE_GOLDEN")) {
        SafeFile out(golden.parent_path().string(), golden.filename().string(), "golden file");
        out.write(actual);
        out.commit();
        return;
    }
    const std::string expected = readBytes(golden);
    ASSERT_FALSE(expected.empty()) << "golden file missing: " << golden.string();
    if (actual == expected) return;
    const auto a = cp932Lines(actual);
    const auto e = cp932Lines(expected);
    for (std::size_t i = 0; i < std::max(a.size(), e.size()); ++i) {
        const std::string al = i < a.size() ? a[i] : "<none>";
        const std::string el = i < e.size() ? e[i] : "<none>";
        if (al != el) {
            ADD_FAILURE() << goldenName << " line " << i + 1 << "\n  expected: " << el << "\n  actual:   " << al;
            return;
        }
    }
    ADD_FAILURE() << goldenName << ": the files differ in their bytes";
}

void expectGolden(const fs::path& actualPath, const std::string& goldenName)
{
    const std::string actual = readBytes(actualPath);
    ASSERT_FALSE(actual.empty()) << actualPath.string();
    expectGoldenBytes(actual, goldenName);
}

} // namespace kov::test
