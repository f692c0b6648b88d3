#include "app/forms/ByteLimitValidator.h"

#include "platform/TextCodec.h"

namespace forms {

QValidator::State ByteLimitValidator::validate(QString& input, int& /*position*/) const {
    size_t bytes = platform::gb18030Length(input.toStdString());
    return bytes <= static_cast<size_t>(limit_) ? Acceptable : Invalid;
}

} // namespace forms
