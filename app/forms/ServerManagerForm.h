#pragma once
// The server manager as a Qt window: a fixed-size, non-modal window owned by
// the main window. It deletes itself when closed.
#include <QWidget>

class ServerManagerForm : public QWidget {
    Q_OBJECT
public:
    explicit ServerManagerForm(QWidget* owner);
    ~ServerManagerForm() override;

    // The open instance, if any.
    static ServerManagerForm* instance();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void bindEvents();
    bool closed_ = false;
};

constexpr int kServerManagerClientWidth = 359;
constexpr int kServerManagerClientHeight = 212;
