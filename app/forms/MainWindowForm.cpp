#include "app/forms/MainWindowForm.h"

#include "app/controls/Shell.h"
#include "app/forms/EnterKeyFilter.h"
#include "app/forms/FormBuilding.h"
#include "app/forms/ListViewSetup.h"
#include "app/forms/MainWindow.h"
#include "app/forms/PaintThrottle.h"
#include "app/forms/Pictures.h"
#include "app/forms/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

namespace {

MainWindow* controls = nullptr;

// At most 25 repaints a second while workers keep changing the window.
constexpr int kRepaintIntervalMs = 40;

using forms::button;
using forms::label;
using forms::place;

// Local files dropped from other applications: only file:// URLs count.
std::vector<std::string> droppedLocalPaths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            return {};
        QString path = url.toLocalFile();
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        if (path.isEmpty() || path.contains('\n') || path.contains('\r'))
            return {};
        paths.push_back(path.toStdString());
    }
    return paths;
}

} // namespace

MainWindow& mainWindow() {
    static MainWindow instance;
    return instance;
}

MainWindowForm::MainWindowForm(const MainWindowEvents& events, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      events_(events) {
    setObjectName("MainWindow");
    setWindowTitle("Corvane");
    controls = &mainWindow();
    *controls = MainWindow();
    controls->window.attach(this);

    client_ = new QWidget(this);
    client_->setObjectName("client");
    QPalette p = client_->palette();
    p.setColor(QPalette::Window, QColor(0, 224, 128));
    client_->setPalette(p);
    client_->setAutoFillBackground(true);
    setCentralWidget(client_);

    buildMenus();
    buildControls();
    buildToolbar();
    bindEvents();
    new forms::PaintThrottle(this, kRepaintIntervalMs);

    resize(kMainClientWidth, kMainClientHeight + menuBar()->sizeHint().height());
    forms::centreOnScreen(this);
    runEvent(events_.created);
}

MainWindowForm::~MainWindowForm() = default;

void MainWindowForm::buildControls() {
    MainWindow& c = *controls;
    QWidget* w = client_;

    // Creation order is the stacking order.
    auto* progressTimer = new QTimer(this);
    progressTimer->setObjectName("时钟_进度");
    c.时钟_进度.attach(progressTimer);

    c.下载钮.attach(button(w, "下载钮", "下载", 295, 181, 66, 30));

    toolbar_ = new QToolBar(w);
    place(toolbar_, "工具条1", 0, 0, 722, 28);
    c.工具条1.attachWidget(toolbar_);

    auto* pollTimer = new QTimer(this);
    pollTimer->setObjectName("时钟1");
    c.时钟1.attach(pollTimer);

    localPath_ = place(new QComboBox(w), "本地目录框", 44, 39, 243, 22);
    localPath_->setEditable(true);
    localPath_->setInsertPolicy(QComboBox::NoInsert);
    localPath_->setDuplicatesEnabled(true);
    localPath_->setMaxVisibleItems(12);
    c.本地目录框.attach(localPath_);

    c.反退钮1.attach(button(w, "反退钮1", "后退", 3, 40, 38, 22));
    c.上传钮.attach(button(w, "上传钮", "上传", 294, 123, 66, 30));

    auto* log = place(new QPlainTextEdit(w), "消息框", 0, 427, 656, 72);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette lp = log->palette();
    lp.setColor(QPalette::Base, QColor(128, 255, 128));
    lp.setColor(QPalette::Text, Qt::black);
    log->setPalette(lp);
    c.消息框.attach(log);

    c.浏览钮.attach(button(w, "浏览钮", "浏览", 291, 39, 40, 22));
    c.反退钮.attach(button(w, "反退钮", "后退", 370, 40, 38, 22));

    remotePath_ = place(new QLineEdit(w), "FTP目录框", 408, 39, 240, 22);
    c.FTP目录框.attach(remotePath_);

    auto* progress = place(new QProgressBar(w), "进度条1", 0, 510, 654, 6);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    c.进度条1.attach(progress);

    localList_ = place(new QTreeView(w), "上传文件框", 0, 81, 286, 335);
    forms::setUpReportList(localList_, "文件名", 200, "大小KB", 80);
    forms::setListColours(localList_, Qt::black, Qt::white, true);
    localList_->viewport()->setAcceptDrops(true);
    localList_->setDragDropMode(QAbstractItemView::DropOnly);
    c.上传文件框.attach(localList_);

    remoteList_ = place(new QTreeView(w), "远程文件框", 368, 81, 286, 335);
    forms::setUpReportList(remoteList_, "远程文件名", 200, "大小(KB)", 80);
    forms::setListColours(remoteList_, QColor(0, 128, 0), QColor(236, 236, 236), false);
    c.远程文件框.attach(remoteList_);
    ui::ImageList icons;
    for (int i = 0; i < listIconCount(); ++i)
        icons.addImage(listIconImage(i));
    c.远程文件框.setIconList(icons);

    c.标签5.attach(label(w, "标签5", "服务器文件列表：", 373, 65, 96, 16));

    statusBar_ = place(new QWidget(w), "状态条1", 1, 455, 431, 20);
    auto* row = new QHBoxLayout(statusBar_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    std::vector<QLabel*> panes;
    for (int width : {150, 300, 200}) {
        auto* pane = new QLabel(statusBar_);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setFixedWidth(width);
        row->addWidget(pane);
        panes.push_back(pane);
    }
    row->addStretch(1);
    QPalette sp = statusBar_->palette();
    sp.setColor(QPalette::Window, palette().color(QPalette::Window));
    statusBar_->setPalette(sp);
    statusBar_->setAutoFillBackground(true);
    c.状态条1.attach(statusBar_, panes);

    c.标签4.attach(label(w, "标签4", "本地文件列表：", 4, 65, 88, 16));
}

void MainWindowForm::buildMenus() {
    struct Menu {
        const char* caption;
        // Item captions and shortcuts; "-" is a separator.
        std::vector<std::pair<const char*, const char*>> items;
    };
    const std::vector<Menu> menus = {
        {"FTP管理(&F)",
         {{"连接(&L)", "F5"},
          {"断开(&D)", "F6"},
          {"-", nullptr},
          {"启动窗口自动连接(&Q)", nullptr},
          {kTlsOnlyItem, nullptr},
          {kTransfersItem, nullptr},
          {"FTP服务器管理(&F)", "Ctrl+G"}}},
        {"本地文件(&B)",
         {{"上传(&C)", nullptr},
          {"打开(&D)", nullptr},
          {"用记事本打开(&Y)", nullptr},
          {"-", nullptr},
          {"删除(&S)", nullptr},
          {"全部删除(&Q)", nullptr},
          {"选择目录(&X)", nullptr},
          {"刷新(&X)", nullptr}}},
        {"远程文件(&Y)",
         {{"下载(&X)", nullptr},
          {"全部下载(&Q)", nullptr},
          {"另存为(&L)", nullptr},
          {"-", nullptr},
          {"创建目录(&C)", nullptr},
          {"删除文件或目录(&S)", nullptr},
          {"重命名(&M)", nullptr},
          {"刷新(&A)", nullptr}}},
        {"帮助(&H)",
         {{"使用帮助(&B)", nullptr},
          {"关于(&G)", nullptr}}},
    };
    for (const Menu& m : menus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QString::fromUtf8(m.caption));
        controls->menus[m.caption] = menu;
        for (const auto& [caption, shortcut] : m.items) {
            if (std::string(caption) == "-") {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(caption));
            action->setObjectName(QString::fromUtf8(caption));
            if (shortcut)
                action->setShortcut(QKeySequence(QString::fromUtf8(shortcut)));
            if (std::string(caption) == "启动窗口自动连接(&Q)" || std::string(caption) == kTlsOnlyItem)
                action->setCheckable(true);
            auto bound = events_.menuItems.find(caption);
            if (bound != events_.menuItems.end()) {
                EventAction handler = bound->second;
                connect(action, &QAction::triggered, this, [handler] { runEvent(handler); });
            }
            controls->menuItems[caption].attach(action);
        }
    }
}

void MainWindowForm::buildToolbar() {
    auto* bar = static_cast<QToolBar*>(toolbar_);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
    // Picture and caption must fit above the path boxes at the top 39.
    bar->setFixedHeight(41);
    bar->setContentsMargins(0, 0, 0, 0);
    if (bar->layout()) {
        bar->layout()->setContentsMargins(2, 0, 2, 0);
        bar->layout()->setSpacing(2);
    }
    QFont small = bar->font();
    small.setPixelSize(11);
    bar->setFont(small);
    bar->setMovable(false);
    bar->setFloatable(false);
    struct Button {
        const char* text;
        int image;
    };
    const Button buttons[] = {{"连接", 2}, {"断开", 3}, {nullptr, -1}, {"上传", 0}, {"下载", 1}};
    int index = 0;
    for (const Button& b : buttons) {
        const int clicked = index++;
        if (!b.text) {
            QAction* separator = bar->addSeparator();
            separator->setObjectName("工具条1.separator");
            continue;
        }
        QAction* action = bar->addAction(QIcon(toolbarPicture(b.image)), QString::fromUtf8(b.text));
        action->setObjectName(QString("工具条1.") + QString::fromUtf8(b.text));
        connect(action, &QAction::triggered, this, [this, clicked] {
            if (events_.toolbarButton)
                events_.toolbarButton(clicked);
        });
    }
}

void MainWindowForm::bindEvents() {
    MainWindow& c = *controls;
    connect(c.时钟1.timer(), &QTimer::timeout, this, [this] { runEvent(events_.progressTick); });
    connect(c.时钟_进度.timer(), &QTimer::timeout, this, [this] { runEvent(events_.remoteWatchTick); });

    connect(findChild<QPushButton*>("下载钮"), &QPushButton::clicked, this, [this] { runEvent(events_.downloadClicked); });
    connect(findChild<QPushButton*>("上传钮"), &QPushButton::clicked, this, [this] { runEvent(events_.uploadClicked); });
    connect(findChild<QPushButton*>("浏览钮"), &QPushButton::clicked, this, [this] { runEvent(events_.browseClicked); });
    connect(findChild<QPushButton*>("反退钮1"), &QPushButton::clicked, this, [this] { runEvent(events_.localUpClicked); });
    connect(findChild<QPushButton*>("反退钮"), &QPushButton::clicked, this, [this] { runEvent(events_.remoteUpClicked); });

    connect(localPath_, qOverload<int>(&QComboBox::activated), this, [this] { runEvent(events_.localHistoryChosen); });
    // Enter is consumed by the handler: no newline, no item inserted.
    auto* localEnter = new forms::EnterKeyFilter([this] { runEvent(events_.localPathEntered); }, this);
    localPath_->installEventFilter(localEnter);
    if (localPath_->lineEdit())
        localPath_->lineEdit()->installEventFilter(localEnter);
    remotePath_->installEventFilter(new forms::EnterKeyFilter([this] { runEvent(events_.remotePathEntered); }, this));

    connect(localList_, &QTreeView::customContextMenuRequested, this, [] {
        ui::ScreenPoint p = ui::mousePosition();
        ui::popupMenu(mainWindow().menu("本地文件(&B)"), p.x + 3, p.y + 3);
    });
    connect(remoteList_, &QTreeView::customContextMenuRequested, this, [] {
        ui::ScreenPoint p = ui::mousePosition();
        ui::popupMenu(mainWindow().menu("远程文件(&Y)"), p.x, p.y);
    });
    connect(localList_, &QTreeView::doubleClicked, this, [this] { runEvent(events_.localItemDoubleClicked); });
    connect(remoteList_, &QTreeView::doubleClicked, this, [this] { runEvent(events_.remoteItemDoubleClicked); });
    localList_->viewport()->installEventFilter(this);
    client_->installEventFilter(this);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

bool MainWindowForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        dockBars();
        if (events_.resized)
            events_.resized(client_->width(), client_->height());
        return false;
    }
    if (watched == localList_->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (droppedLocalPaths(drag->mimeData()).empty())
                drag->ignore();
            else
                drag->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            std::vector<std::string> paths = droppedLocalPaths(drop->mimeData());
            if (paths.empty()) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            if (events_.droppedOnLocalList)
                events_.droppedOnLocalList(paths);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindowForm::dockBars() {
    // The toolbar spans the top edge and the status bar the bottom edge of
    // the client area, whatever its size.
    toolbar_->setGeometry(0, 0, client_->width(), toolbar_->height());
    statusBar_->setGeometry(0, client_->height() - statusBar_->height(), client_->width(),
                            statusBar_->height());
}

void MainWindowForm::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        runEvent(events_.closing);
    }
    QMainWindow::closeEvent(event);
}
