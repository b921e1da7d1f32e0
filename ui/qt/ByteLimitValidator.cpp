#include "ui/qt/ByteLimitValidator.h"

namespace qtui {

ByteLimitValidator::ByteLimitValidator(int maxBytes, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes) {}

QValidator::State ByteLimitValidator::validate(QString& input, int&) const {
    return input.toUtf8().size() <= maxBytes_ ? Acceptable : Invalid;
}

}  // namespace qtui
