// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A fresh folder per test, removed afterwards.
class TTempDir {
public:
    TTempDir() { EXPECT_TRUE(FDir.isValid()); }
    QString Path() const { return FDir.path(); }
    QString File(const QString& Name) const { return FDir.filePath(Name); }

private:
    QTemporaryDir FDir;
};
