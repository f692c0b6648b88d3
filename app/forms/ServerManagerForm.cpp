#include "app/forms/ServerManagerForm.h"

#include "app/forms/ByteLimitValidator.h"
#include "app/forms/FormBuilding.h"
#include "app/forms/ServerManagerWindow.h"
#include "app/forms/WindowPlacement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>

namespace {

QPointer<ServerManagerForm> openInstance;

using forms::button;
using forms::label;
using forms::place;

QLineEdit* edit(QWidget* parent, const char* name, int limit, int x, int y, int w, int h) {
    QLineEdit* e = place(new QLineEdit(parent), name, x, y, w, h);
    e->setValidator(new forms::ByteLimitValidator(limit, e));
    return e;
}

} // namespace

ServerManagerWindow& serverManagerWindow() {
    static ServerManagerWindow instance;
    return instance;
}

ServerManagerForm* ServerManagerForm::instance() {
    // A closed window is deleted later; it no longer counts as open.
    ServerManagerForm* form = openInstance.data();
    return form && !form->closed_ ? form : nullptr;
}

ServerManagerForm::ServerManagerForm(const ServerManagerEvents& events, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      events_(events) {
    setObjectName("ServerManagerWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("FTP服务器管理");
    setFixedSize(kServerManagerClientWidth, kServerManagerClientHeight);
    openInstance = this;
    serverManagerWindow() = ServerManagerWindow();
    serverManagerWindow().window.attach(this);
    buildControls();
    bindEvents();
    forms::centreOnScreen(this);
    runEvent(events_.created);
}

ServerManagerForm::~ServerManagerForm() {
    if (!closed_)
        runEvent(events_.closing);
}

void ServerManagerForm::buildControls() {
    ServerManagerWindow& c = serverManagerWindow();
    c.标签4.attach(label(this, "标签4", "服务器名称：", 14, 11, 72, 19));
    c.编辑框_服务器地址.attach(edit(this, "编辑框_服务器地址", 20, 87, 39, 136, 22));
    c.按钮5.attach(button(this, "按钮5", "删除", 290, 9, 48, 24));

    auto* names = place(new QComboBox(this), "组合框_服务器名称", 87, 9, 136, 20);
    names->setEditable(true);
    names->setInsertPolicy(QComboBox::NoInsert);
    names->setDuplicatesEnabled(true);
    names->setValidator(new forms::ByteLimitValidator(60, names));
    c.组合框_服务器名称.attach(names);

    c.按钮4.attach(button(this, "按钮4", "保存", 231, 9, 48, 24));
    QLineEdit* port = edit(this, "编辑框_端口", 12, 267, 39, 53, 22);
    port->setText("21");
    c.编辑框_端口.attach(port);
    c.标签5.attach(label(this, "标签5", "端口：", 229, 38, 40, 24));
    c.按钮3.attach(button(this, "按钮3", "连接", 95, 137, 70, 34));
    c.按钮2.attach(button(this, "按钮2", "取消", 195, 137, 70, 34));
    c.编辑框_密码.attach(edit(this, "编辑框_密码", 20, 87, 98, 136, 22));
    c.编辑框_用户名.attach(edit(this, "编辑框_用户名", 26, 87, 68, 136, 22));
    c.标签3.attach(label(this, "标签3", "密码：", 46, 98, 40, 24));
    c.标签2.attach(label(this, "标签2", "用户名：", 37, 68, 49, 24));
    c.标签1.attach(label(this, "标签1", "服务器地址：", 14, 38, 72, 24));
}

void ServerManagerForm::bindEvents() {
    auto* names = findChild<QComboBox*>("组合框_服务器名称");
    connect(names, qOverload<int>(&QComboBox::activated), this, [this] { runEvent(events_.serverChosen); });
    connect(findChild<QPushButton*>("按钮4"), &QPushButton::clicked, this, [this] { runEvent(events_.saveClicked); });
    connect(findChild<QPushButton*>("按钮5"), &QPushButton::clicked, this, [this] { runEvent(events_.deleteClicked); });
    connect(findChild<QPushButton*>("按钮3"), &QPushButton::clicked, this, [this] { runEvent(events_.connectClicked); });
    connect(findChild<QPushButton*>("按钮2"), &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void ServerManagerForm::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        runEvent(events_.closing);
    }
    QWidget::closeEvent(event);
}
