#pragma once
// The server manager as a Qt window: a fixed-size, non-modal window owned by
// the main window. It deletes itself when closed.
#include "app/forms/WindowEvents.h"

#include <QWidget>

class ServerManagerForm : public QWidget {
    Q_OBJECT
public:
    ServerManagerForm(const ServerManagerEvents& events, QWidget* owner);
    ~ServerManagerForm() override;

    // The open instance, if any.
    static ServerManagerForm* instance();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void bindEvents();
    ServerManagerEvents events_;
    bool closed_ = false;
};

constexpr int kServerManagerClientWidth = 359;
constexpr int kServerManagerClientHeight = 212;
