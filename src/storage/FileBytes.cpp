// SPDX-License-Identifier: MIT
#include "FileBytes.h"

#include "CodePage.h"
#include "Errors.h"
#include "FileHandle.h"
#include "Paths.h"

#include <QStringDecoder>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool FileExists(const QString& Path) {
    struct stat st {};
    return !Path.isEmpty() && ::stat(NativePath(Path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

QByteArray ReadFileBytes(const QString& Path, qint64 MaxBytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    TFileHandle file(::open(NativePath(Path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        const int error = errno;
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2").arg(Path, SystemErrorText(error)));
    }
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". It is not a regular file").arg(Path));
    const auto tooLarge = [&] {
        return EFileError(
            QStringLiteral("Cannot read file \"%1\". It is larger than %2 bytes").arg(Path).arg(MaxBytes));
    };
    if (st.st_size > MaxBytes)
        throw tooLarge();
    QByteArray bytes;
    if (st.st_size > 0)
        bytes.reserve(static_cast<qsizetype>(st.st_size));
    bool grewTooLarge = false;
    const bool read = ReadFully(file.Get(), [&](const char* Data, std::size_t Size) {
        // The file may grow while it is read.
        grewTooLarge = bytes.size() + static_cast<qint64>(Size) > MaxBytes;
        if (!grewTooLarge)
            bytes.append(Data, static_cast<qsizetype>(Size));
        return !grewTooLarge;
    });
    if (grewTooLarge)
        throw tooLarge();
    if (!read) {
        const int error = errno;
        throw EFileError(QStringLiteral("Stream read error \"%1\". %2").arg(Path, SystemErrorText(error)));
    }
    return bytes;
}

QString DecodeFileText(const QByteArray& Bytes) {
    const auto decode = [&](QStringConverter::Encoding encoding, qsizetype markLength) {
        QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
        return QString(decoder(QByteArrayView(Bytes).sliced(markLength)));
    };
    if (Bytes.startsWith("\xEF\xBB\xBF"))
        return decode(QStringConverter::Utf8, 3);
    if (Bytes.startsWith("\xFF\xFE"))
        return decode(QStringConverter::Utf16LE, 2);
    if (Bytes.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE, 2);
    return DecodeAnsi(Bytes);
}
