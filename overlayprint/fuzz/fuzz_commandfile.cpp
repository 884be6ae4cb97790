// libFuzzer target: the command-file reader must take any bytes and either give pages
// that fit the paper or one message; never crash, hang or read out of bounds.
#include "overlayprint/commandfile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kov::overlayprint;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ParseResult r = parseCommandFile(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!r.ok()) {
        if (!r.error || r.error->message.empty()) __builtin_trap();
        return 0;
    }
    const CommandFile& f = *r.file;
    if (f.pages.empty() || !f.paper) __builtin_trap();
    const double width = f.pageWidthCells() + 1e-6;
    for (const Page& p : f.pages) {
        if (p.commands.empty()) __builtin_trap();
        for (const DrawCommand& c : p.commands) {
            if (const auto* t = std::get_if<TextCommand>(&c)) {
                if (t->x10 < 0 || t->x10 / 10.0 + t->cells * t->sizeX / 100.0 > width) __builtin_trap();
            } else {
                const auto& h = std::get<RuleCommand>(c);
                if (h.x10 < 0 || h.len10 < 0 || (h.x10 + h.len10) / 10.0 > width) __builtin_trap();
            }
        }
    }
    return 0;
}
