#pragma once
// Refuses typed or pasted input that would make the text longer than a
// number of bytes once encoded for the server book (GB18030: a Chinese
// character counts two). Text set by the program is not checked.
#include <QValidator>

namespace forms {

class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    State validate(QString& input, int& position) const override;
    int limit() const { return limit_; }

private:
    int limit_;
};

} // namespace forms
