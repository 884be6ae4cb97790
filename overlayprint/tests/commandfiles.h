#pragma once
// Command files for the reader's and the engine's tests: lines written as the programs
// write them, and the table of malformed files, each with the line and the words of its
// message (the reader's tests read each one, the engine's tests print each one).
#include "common/cp932.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace kov::overlayprint::test {

// Lines given in UTF-8, written in CP932, each ended with CR LF.
inline std::string lines(std::initializer_list<std::string> ls)
{
    std::string out;
    for (const auto& l : ls) out += kov::cp932::fromUtf8(l) + "\r\n";
    return out;
}

inline const std::string kHead = "ST 011001\r\nCR 15063\r\n";

struct MalformedFile {
    const char* name;
    std::string bytes;
    std::size_t line; // 0: the file as a whole
    const char* says;
};

inline std::vector<MalformedFile> malformedFiles()
{
    const std::string longLine = "TE 0030008531100100" + std::string(70 * 1024, 'A');
    return {
        {"empty file", "", 0, "空"},
        {"unknown command", kHead + "XX 0000\r\nED \r\n", 3, "不明な命令「XX」"},
        {"unknown command after a text", lines({"ST 011001", "CR 15063", "TE 0030008531075100山田", "XY 1", "ED "}), 4,
         "不明な命令"},
        {"lower-case command", kHead + "te 0030008531100100A\r\nED \r\n", 3, "不明な命令"},
        {"no blank after command", kHead + "TE0030008531100100A\r\nED \r\n", 3, "読めません"},
        {"missing ST", "CR 15063\r\nED \r\n", 1, "ST"},
        {"missing CR", "ST 011001\r\nTE 0030008531100100A\r\nED \r\n", 2, "CR"},
        {"short field", kHead + "TE 00300085311001\r\nED \r\n", 3, "縦の大きさが足りません"},
        {"non-numeric field", kHead + "TE 00a0008531100100A\r\nED \r\n", 3, "X 座標「00a0」が数字ではありません"},
        {"short HL", kHead + "HL 007000850080001000000000000\r\nED \r\n", 3, "足りません"},
        {"five-digit coordinate in HL", kHead + "HL 100000085008000100000000000000000\r\nED \r\n", 3, "1000.0"},
        {"five-digit coordinate in TE", kHead + "TE 100000085310751001234\r\nED \r\n", 3, "1000.0"},
        {"not CP932", kHead + "TE 0030008531100100\x82\xFF\r\nED \r\n", 3, "シフトJIS"},
        {"not CP932: a blank as second byte", kHead + "TE 0030008531075100\x81\x20\r\nED \r\n", 3, "シフトJIS"},
        {"control character", kHead + "TE 0030008531100100A\tB\r\nED \r\n", 3, "制御文字"},
        {"CR inside a line", kHead + "TE 0030008531100100A\rB\r\nED \r\n", 3, "制御文字"},
        {"no ED", kHead + "TE 0030008531100100A\r\n", 3, "ED"},
        {"cut short after a name", lines({"ST 011001", "CR 15063", "TE 0030008531075100山田"}), 3, "ED"},
        {"cut inside a line", kHead + "TE 0030008531100100A\r\nTE 00300", 4, "CR LF"},
        {"LF without CR", kHead + "TE 0030008531100100A\nED \r\n", 3, "CR がありません"},
        {"text after ED", kHead + "TE 0030008531100100A\r\nED \r\nTE 0030008531100100B\r\n", 5, "ED（終了命令）の後"},
        {"blank line after ED", kHead + "TE 0030008531100100A\r\nED \r\n\r\n", 5, "ED（終了命令）の後"},
        {"line of a megabyte", kHead + longLine + "\r\nED \r\n", 3, "長すぎ"},
        {"nothing to print", kHead + "PE \r\nED \r\n", 4, "印刷する内容がありません"},
        {"unknown font", kHead + "TE 0030008511100100A\r\nED \r\n", 3, "フォント番号 1"},
        {"unknown pattern", kHead + "TE 0030008532100100A\r\nED \r\n", 3, "パターン番号 2"},
        {"unknown paper", "ST 099001\r\nCR 15063\r\nED \r\n", 1, "用紙の番号 99"},
        {"size zero", kHead + "TE 0030008531000100A\r\nED \r\n", 3, "小さすぎ"},
        {"negative x", kHead + "TE -0010008531100100A\r\nED \r\n", 3, "用紙の横幅の外"},
        {"text past the right edge", kHead + "TE 2100008531100100ABCDEFGHIJ\r\nED \r\n", 3, "用紙の横幅の外"},
        {"text above the top", kHead + "TE 0030000031100100A\r\nED \r\n", 3, "上下の外"},
        {"rule past the edge", kHead + "HL 2000008501800010000000000000000\r\nED \r\n", 3, "用紙の外"},
        {"rule with reserved fields", kHead + "HL 0770008500800100001000000000000\r\nED \r\n", 3, "予備欄"},
        {"rule of negative length", kHead + "HL 00700085-00800010000000000000000\r\nED \r\n", 3, "負"},
        {"trailing text after PE", kHead + "TE 0030008531100100A\r\nPE x\r\nED \r\n", 4, "余分"},
        {"second ST", kHead + "ST 011001\r\nED \r\n", 3, "2 度"},
    };
}

} // namespace kov::overlayprint::test
