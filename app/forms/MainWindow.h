#pragma once
// The main window's controls, addressed by their names. The object lives for
// the whole process; once the window is gone every operation does nothing,
// so workers that finish late are harmless.
#include "app/controls/ComboControl.h"
#include "app/controls/IndicatorControls.h"
#include "app/controls/ListControl.h"
#include "app/controls/StatusBarControl.h"
#include "app/controls/TextControls.h"

#include <QMenu>
#include <QPointer>

#include <map>
#include <string>

// The menu item that makes the program refuse servers without TLS.
constexpr const char* kTlsOnlyItem = "仅用加密连接(&T)";
// How many files a batch moves at once.
constexpr const char* kTransfersItem = "同时传输文件数(&N)...";

struct MainWindow {
    ui::WindowControl window;

    ui::ButtonControl 下载钮;
    ui::WidgetControl 工具条1;
    ui::TimerControl 时钟1;
    ui::TimerControl 时钟_进度;
    ui::ComboControl 本地目录框;
    ui::ButtonControl 反退钮1;
    ui::ButtonControl 上传钮;
    ui::LogControl 消息框;
    ui::ButtonControl 浏览钮;
    ui::ButtonControl 反退钮;
    ui::EditControl FTP目录框;
    ui::ProgressControl 进度条1;
    ui::ListControl 上传文件框;
    ui::ListControl 远程文件框;
    ui::LabelControl 标签5;
    ui::StatusBarControl 状态条1;
    ui::LabelControl 标签4;

    // Menu items by caption, e.g. "启动窗口自动连接(&Q)".
    std::map<std::string, ui::MenuItemControl> menuItems;
    // Top-level menus by caption, e.g. "本地文件(&B)".
    std::map<std::string, QPointer<QMenu>> menus;

    ui::MenuItemControl& menuItem(const std::string& caption) { return menuItems[caption]; }
    QMenu* menu(const std::string& caption) { return menus[caption].data(); }
};

MainWindow& mainWindow();
