#pragma once
// The main window as a Qt widget: builds every control at its design-time
// geometry, the menu bar and the toolbar, and binds their events to the
// actions of the events table.
#include "app/forms/WindowEvents.h"

#include <QMainWindow>

class QTreeView;
class QComboBox;
class QLineEdit;

class MainWindowForm : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindowForm(const MainWindowEvents& events, QWidget* parent = nullptr);
    ~MainWindowForm() override;

    QWidget* client() const { return client_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildToolbar();
    void bindEvents();
    void dockBars();

    MainWindowEvents events_;
    QWidget* client_ = nullptr;
    QWidget* toolbar_ = nullptr;
    QWidget* statusBar_ = nullptr;
    QTreeView* localList_ = nullptr;
    QTreeView* remoteList_ = nullptr;
    QComboBox* localPath_ = nullptr;
    QLineEdit* remotePath_ = nullptr;
    bool closing_ = false;
};

// Client area size the window opens with.
constexpr int kMainClientWidth = 722;
constexpr int kMainClientHeight = 540;
