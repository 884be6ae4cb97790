#include "tools/menu/menuwindow.h"

#include "common/runtimeservices.h"
#include "common/ui/fonts.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kov::menu {

const std::vector<MenuEntry>& menuEntries()
{
    static const std::vector<MenuEntry> entries = {
        {QStringLiteral("kov120"), QStringLiteral("2"), QStringLiteral("期末勤勉手当支給調書印刷（支給区分 2）")},
        {QStringLiteral("kov120"), QStringLiteral("5"), QStringLiteral("期末勤勉手当支給調書印刷（支給区分 5）")},
        {QStringLiteral("kov120"), QStringLiteral("25"), QStringLiteral("期末勤勉手当支給調書印刷（支給区分 2・5）")},
        {QStringLiteral("kov140"), QStringLiteral("1"), QStringLiteral("差額支給内訳明細書印刷")},
        {QStringLiteral("kov570"), QStringLiteral("1"), QStringLiteral("給与費支出額集計表印刷")},
        {QStringLiteral("kov970"), QStringLiteral("1"), QStringLiteral("マスタ退避処理")},
    };
    return entries;
}

MenuWindow::MenuWindow(kov::RuntimeServices& rt, QString programFolder, QString settingsFolder, QWidget* parent)
    : QWidget(parent), m_rt(rt), m_programFolder(std::move(programFolder)), m_settingsFolder(std::move(settingsFolder))
{
    setObjectName(QStringLiteral("kovmenu"));
    setWindowTitle(QStringLiteral("給与システム　処理メニュー"));
    setFont(kov::ui::screenFont());

    auto* heading = new QLabel(QStringLiteral("処理を選んで「起　動」を押して下さい。"), this);
    // One row per job: its name, then the program and its argument each in a column of
    // their own, so that the columns line up whatever the lengths.
    m_list = new QTreeWidget(this);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("処理名"), QStringLiteral("プログラム"), QStringLiteral("引数")});
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setUniformRowHeights(true);
    for (const MenuEntry& e : menuEntries()) {
        auto* item = new QTreeWidgetItem(m_list, {e.title, e.program, e.argument});
        item->setToolTip(0, QDir(m_programFolder).filePath(e.program));
    }
    const int gap = m_list->fontMetrics().horizontalAdvance(QStringLiteral("　　"));
    for (int c = 0; c < m_list->columnCount(); ++c) {
        m_list->resizeColumnToContents(c);
        m_list->setColumnWidth(c, m_list->columnWidth(c) + gap);
    }
    m_list->header()->setStretchLastSection(true);
    m_list->setCurrentItem(m_list->topLevelItem(0));
    auto* folder = new QLabel(QStringLiteral("設定フォルダ：%1").arg(QDir::toNativeSeparators(m_settingsFolder)), this);
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* start = new QPushButton(QStringLiteral("起　動"), this);
    start->setObjectName(QStringLiteral("cmdStart"));
    auto* close = new QPushButton(QStringLiteral("終　了"), this);
    close->setObjectName(QStringLiteral("cmdEnd"));
    const auto currentRow = [this] { return m_list->indexOfTopLevelItem(m_list->currentItem()); };
    connect(start, &QPushButton::clicked, this, [this, currentRow] { launch(currentRow()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { launch(m_list->indexOfTopLevelItem(item)); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(start);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_list);
    layout->addWidget(folder);
    layout->addLayout(buttons);
    resize(560, 320);
}

bool MenuWindow::launch(int index)
{
    const auto& entries = menuEntries();
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        m_rt.msgBox("処理が選択されていません。", kov::MsgIcon::Exclamation, kov::MsgButtons::Ok,
                    windowTitle().toStdString());
        return false;
    }
    const MenuEntry& e = entries[static_cast<std::size_t>(index)];
    QString path = QDir(m_programFolder).filePath(e.program);
#ifdef Q_OS_WIN
    path += QStringLiteral(".exe");
#endif
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isExecutable()) {
        m_rt.msgBox(QStringLiteral("プログラム「%1」が見つかりません。\r\n%2")
                        .arg(e.program, QDir::toNativeSeparators(path))
                        .toStdString(),
                    kov::MsgIcon::Exclamation, kov::MsgButtons::Ok, windowTitle().toStdString());
        return false;
    }
    QProcess proc;
    proc.setProgram(path);
    proc.setArguments({e.argument});
    proc.setWorkingDirectory(m_programFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOV_INI_DIR"), m_settingsFolder);
    proc.setProcessEnvironment(env);
    if (!proc.startDetached()) {
        m_rt.msgBox(
            QStringLiteral("プログラム「%1」を起動できません。\r\n%2").arg(e.program, proc.errorString()).toStdString(),
            kov::MsgIcon::Stop, kov::MsgButtons::Ok, windowTitle().toStdString());
        return false;
    }
    return true;
}

} // namespace kov::menu
