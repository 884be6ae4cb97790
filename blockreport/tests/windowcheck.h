#pragma once
// The window of a block report program checked against its design.
#include "blockreport/tests/blockreport_testsupport.h"
#include "blockreport/tests/qtapplicationenv.h"
#include "blockreport/ui/frmblockreport.h"
#include "common/ui/pfkeybar.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kov::blockreport::test {

// The tab stops to check: their places in the chain and the widgets there.
using TabStops = std::vector<std::pair<int, QWidget*>>;

// Fifteen stops in the form's tab chain with those of `stops` in their places, and the
// focus on the first.
inline void expectTabStops(const FrmBlockReport& form, const TabStops& stops)
{
    const QList<QWidget*> chain = form.tabChain();
    ASSERT_EQ(chain.size(), 15);
    for (const auto& [at, widget] : stops) EXPECT_EQ(chain[at], widget) << "tab stop " << at;
    EXPECT_TRUE(chain[0]->hasFocus() || QApplication::focusWidget() == chain[0]);
}

// The window of env's screen, shown and opened: its caption, lblShori `lblShoriWidth`
// twips wide, the twelve buttons at `lefts` (7500 twips down, 855 × 315) and the tab
// stops that `stops` names.
inline void expectWindow(BlockReportEnv& env, const std::string& caption, int lblShoriWidth,
                         const std::array<int, 12>& lefts, const std::function<TabStops(FrmBlockReport&)>& stops)
{
    FrmBlockReport form(*env.screen, env.rt);
    form.load();
    form.showScreen();
    ASSERT_EQ(env.open(), std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(form.windowTitle().toStdString(), caption);
    EXPECT_EQ(form.lblShori()->geometry(), designRect(0, 0, lblShoriWidth, 300));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(form.pfKeys()->button(i)->geometry(), designRect(lefts[i], 7500, 855, 315));
    expectTabStops(form, stops(form));
}

} // namespace kov::blockreport::test
