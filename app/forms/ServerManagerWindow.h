#pragma once
// The server manager's controls, addressed by their names. Valid while the
// window exists; afterwards every operation does nothing.
#include "app/controls/ComboControl.h"
#include "app/controls/IndicatorControls.h"
#include "app/controls/TextControls.h"

struct ServerManagerWindow {
    ui::WindowControl window;

    ui::LabelControl 标签4;
    ui::EditControl 编辑框_服务器地址;
    ui::ButtonControl 按钮5;
    ui::ComboControl 组合框_服务器名称;
    ui::ButtonControl 按钮4;
    ui::EditControl 编辑框_端口;
    ui::LabelControl 标签5;
    ui::ButtonControl 按钮3;
    ui::ButtonControl 按钮2;
    ui::EditControl 编辑框_密码;
    ui::EditControl 编辑框_用户名;
    ui::LabelControl 标签3;
    ui::LabelControl 标签2;
    ui::LabelControl 标签1;
};

ServerManagerWindow& serverManagerWindow();
