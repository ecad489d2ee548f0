// SPDX-License-Identifier: MIT
#include "Errors.h"

#include <cstring>

EAppError::EAppError(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}

QString ErrorMessage(const std::exception& e) {
    if (const auto* appError = dynamic_cast<const EAppError*>(&e))
        return appError->Message();
    return QString::fromLocal8Bit(e.what());
}

QString SystemErrorText(int Error) {
    return QString::fromLocal8Bit(std::strerror(Error));
}
