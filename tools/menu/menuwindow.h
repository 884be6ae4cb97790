#pragma once
// The menu of the suite: lists the programs with their start arguments and starts each
// as a process of its own, with the settings folder handed on through KOV_INI_DIR.
#include <QString>
#include <QWidget>

#include <vector>

class QTreeWidget;

namespace kov {
class RuntimeServices;
}

namespace kov::menu {

struct MenuEntry {
    QString program; // file name of the program, without extension
    QString argument; // its one command-line argument
    QString title; // what the user reads
};

// The programs of the suite in menu order.
const std::vector<MenuEntry>& menuEntries();

class MenuWindow : public QWidget {
    Q_OBJECT
public:
    // programFolder: where the programs lie; settingsFolder: handed on as KOV_INI_DIR.
    MenuWindow(kov::RuntimeServices& rt, QString programFolder, QString settingsFolder, QWidget* parent = nullptr);

    QTreeWidget* list() const { return m_list; }
    // Starts the entry at index; tells the user in a message when it cannot.
    // Returns true when the process was started.
    bool launch(int index);

private:
    kov::RuntimeServices& m_rt;
    QString m_programFolder;
    QString m_settingsFolder;
    QTreeWidget* m_list;
};

} // namespace kov::menu
