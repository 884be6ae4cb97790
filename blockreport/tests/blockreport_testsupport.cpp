#include "blockreport/tests/blockreport_testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kov::blockreport::test {

ScreenDescription testScreen(bool monthCheck, bool listFirst)
{
    ScreenDescription d;
    d.caption = "ブロック帳票印刷";
    d.lblShoriWidth = 1500;
    d.buttonLefts = {300, 1200, 2100, 3000, 4000, 4900, 5800, 6700, 7700, 8600, 9500, 10400};
    if (listFirst)
        d.tabOrder = {TabStop::LstMain,   TabStop::Buttons,      TabStop::LblShori,   TabStop::Label5,
                      TabStop::FraKyuKbn, TabStop::OptNichigaku, TabStop::OptGetugaku};
    else
        d.tabOrder = {TabStop::OptGetugaku, TabStop::OptNichigaku, TabStop::LstMain,  TabStop::Buttons,
                      TabStop::LblShori,    TabStop::Label5,       TabStop::FraKyuKbn};
    d.monthCheck = monthCheck;
    d.slotShown = [](const BlockSlot& s) { return (s.payKind == 2 || s.payKind == 5) && s.startCode != 0; };
    d.startFilter = [](const std::string& month) {
        return "KYUSYU in(2,5) AND SKYUYM = " + month + " AND SYRFLG <> 0";
    };
    d.selectFilter = [](const std::string& month, const std::string& blocks, bool monthly) {
        return std::string("KYUSYU in(2,5) AND SKYUYM = ") + month + " AND SYRFLG in(" + blocks + ")" +
               (monthly ? " AND SYOSYU not in(5,6)" : " AND SYOSYU in(5,6)");
    };
    return d;
}

void standardSchools(db::Fixture& fx, std::int64_t payKind, std::int64_t syorid)
{
    fx.setKanri(syorid);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E102", "城西小学校");
    fx.addSchool("E201", "川北中学校");
    fx.setBlock(1, 101, 102, 2, payKind);
    fx.setBlock(2, 201, 201, 1, payKind);
}

void blocksOfAllKinds(db::Fixture& fx)
{
    fx.setKanri(202306);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E102", "あいうえおかきくけこ"); // exactly 10 characters
    fx.addSchool("E103", "あいうえおかきくけこさし"); // 12 characters: no filler
    fx.addSchool("E104", "一校");
    fx.setBlock(1, 101, 103, 3, 2);
    fx.setBlock(2, 102, 102, 12, 5);
    fx.setBlock(3, 103, 103, 2, 2);
    fx.setBlock(7, 104, 104, 1, 5);
    fx.setBlock(9, 999, 999, 4, 2); // school not in the master
    fx.setBlock(10, 0, 0, 3, 2); // empty slot
    fx.setBlock(11, 104, 104, 0, 3); // another pay kind
    fx.setBlock(45, 101, 101, 100, 2); // count of three digits
    fx.addPayment({.syokcd = 1, .skyuym = 202306, .kyusyu = 2, .syrflg = 1});
    fx.addPayment({.syokcd = 2, .skyuym = 202306, .kyusyu = 5, .syrflg = 2});
    fx.addPayment({.syokcd = 3, .skyuym = 202306, .kyusyu = 3, .syrflg = 11});
}

namespace {

class RecordingEngine : public PrintEngine {
public:
    RecordingEngine(const ProgramContext& ctx, std::vector<EngineCall>& calls) : m_ctx(ctx), m_calls(calls) {}
    void setPrintFIlePath(const std::string& folder) override { m_folder = folder; }
    std::string PrintFIlePath() const override { return m_folder; }
    std::int32_t PrtFile(const std::string& job, const std::string& caption, const std::string& overlay) override
    {
        EngineCall call;
        call.folder = m_folder;
        call.jobName = job;
        call.caption = caption;
        call.overlay = overlay;
        call.commandFile = readBytes(m_folder + "/OVL.TMP");
        call.duringReads = m_ctx.inReads();
        m_calls.push_back(call);
        return 0;
    }

private:
    const ProgramContext& m_ctx;
    std::vector<EngineCall>& m_calls;
    std::string m_folder;
};

} // namespace

BlockReportEnv::BlockReportEnv(const std::string& program)
    : ctx(rt, program, [this] { return engine ? engine() : nullptr; })
{
    setenv("KOV_WORK_DIR", fx.path("work").c_str(), 1);
    rt.setAppPath(fx.dir());
    fx.setStandardNames();
}

PrintEngineFactory BlockReportEnv::recordingEngine()
{
    return [this] { return std::make_unique<RecordingEngine>(ctx, engineCalls); };
}

void BlockReportEnv::selectBlocks(const std::vector<int>& slots)
{
    const std::vector<ListEntry>& entries = screen->lstMain();
    for (std::size_t i = 0; i < entries.size(); ++i)
        screen->setSelected(static_cast<int>(i),
                            std::find(slots.begin(), slots.end(), entries[i].itemData) != slots.end());
}

void BlockReportEnv::printBlocks(bool monthly, const std::vector<int>& slots)
{
    ASSERT_EQ(open(), std::nullopt);
    ASSERT_TRUE(rt.messages.empty()) << rt.messages.front().text;
    screen->setOptGetugaku(monthly);
    selectBlocks(slots);
    ASSERT_EQ(press(5), std::nullopt);
    ASSERT_TRUE(rt.messages.empty()) << rt.messages.front().text;
}

void expectPrinted(const BlockReportEnv& env, const std::string& goldenName, const ExpectedJob& job)
{
    expectGolden(env.commandFile(), goldenName);
    ASSERT_EQ(env.engineCalls.size(), 1u);
    const EngineCall& call = env.engineCalls.front();
    EXPECT_EQ(call.folder, env.workFolder());
    EXPECT_FALSE(std::filesystem::exists(env.fx.path("OVL.TMP")));
    EXPECT_EQ(call.jobName, job.jobName);
    EXPECT_EQ(call.caption, job.caption);
    EXPECT_EQ(call.overlay, job.overlay);
    EXPECT_FALSE(call.duringReads);
    if (call.pdf.empty()) {
        EXPECT_EQ(call.commandFile, readBytes(env.commandFile()));
        return;
    }
    EXPECT_EQ(call.result, 0);
    std::string text;
    if (FILE* p = popen(("pdftotext -layout '" + call.pdf + "' -").c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        pclose(p);
    }
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos) << text;
}

void expectOpenings(const std::function<std::unique_ptr<BlockReportEnv>(std::int16_t argument)>& makeEnv,
                    const std::vector<OpeningCase>& cases)
{
    for (const OpeningCase& c : cases) {
        const std::unique_ptr<BlockReportEnv> env = makeEnv(c.argument);
        const std::string what = std::to_string(c.argument) + " " + std::to_string(c.syorid) + " kind " +
                                 std::to_string(c.kind) + " block " + std::to_string(c.syrflg);
        env->fx.setKanri(c.syorid);
        env->fx.addSchool("E101", "城東小学校");
        env->fx.setBlock(1, 101, 101, 1, c.kind);
        env->fx.addPayment(
            {.syokcd = 1, .skyuym = c.skyuym ? c.skyuym : c.syorid, .kyusyu = c.kind, .syrflg = c.syrflg});
        const auto ended = env->open();
        const std::vector<RecordedMessage>& messages = env->rt.messages;
        if (!c.message) {
            EXPECT_EQ(ended, std::nullopt) << what;
            EXPECT_TRUE(messages.empty()) << what;
            EXPECT_EQ(env->screen->lstMain().size(), 1u) << what;
            continue;
        }
        EXPECT_EQ(ended, 0) << what;
        ASSERT_EQ(messages.size(), 1u) << what;
        EXPECT_EQ(messages[0].text, c.message) << what;
        EXPECT_EQ(messages[0].icon, MsgIcon::Exclamation) << what;
        EXPECT_EQ(messages[0].title, env->screen->description().caption) << what;
        EXPECT_TRUE(env->screen->lstMain().empty()) << what << ": the block list is read after a failed check";
    }
}

} // namespace kov::blockreport::test
