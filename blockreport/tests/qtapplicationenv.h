#pragma once
// One Qt application object (QGuiApplication or QApplication) for a whole GoogleTest
// program, on the offscreen platform unless QT_QPA_PLATFORM names another:
//
//   const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(
//       new kov::blockreport::test::QtApplicationEnvironment<QApplication>("frmblockreport_test"));
#include <QByteArray>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

namespace kov::blockreport::test {

// A rectangle of a screen design, given in twips (1/1440 inch), in pixels at the
// logical resolution of the primary screen (96 dpi offscreen: 15 twips a pixel).
inline QRect designRect(int left, int top, int width, int height)
{
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    const auto px = [dpi](int twips) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); };
    return QRect(px(left), px(top), px(width), px(height));
}

template <class App>
class QtApplicationEnvironment : public ::testing::Environment {
public:
    // afterStart runs once the application object exists (e.g. to install fonts).
    explicit QtApplicationEnvironment(std::string programName, std::function<void()> afterStart = {})
        : m_name(std::move(programName)), m_afterStart(std::move(afterStart))
    {
    }
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // The application keeps argc and argv for its whole life: both live here.
        m_argv[0] = m_name.data();
        m_argv[1] = nullptr;
        m_app = std::make_unique<App>(m_argc, m_argv);
        if (m_afterStart) m_afterStart();
    }
    void TearDown() override { m_app.reset(); }

private:
    std::string m_name;
    std::function<void()> m_afterStart;
    int m_argc = 1;
    char* m_argv[2] = {};
    std::unique_ptr<App> m_app;
};

} // namespace kov::blockreport::test
