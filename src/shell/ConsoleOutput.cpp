// SPDX-License-Identifier: MIT
#include "ConsoleOutput.h"

void Write(std::FILE* Stream, const QByteArray& Bytes) {
    std::fwrite(Bytes.constData(), 1, static_cast<std::size_t>(Bytes.size()), Stream);
}

int Fail(const QString& Text, int Code) {
    Write(stderr, QStringLiteral("tallyvox: %1\n").arg(Text).toLocal8Bit());
    return Code;
}

int FailUsage(const QString& Text) {
    return Fail(Text + QStringLiteral("\nTry 'tallyvox --help' for more information."), 2);
}
