#pragma once

#include <QFile>
#include <QString>

// A library text of `count` entries "按装N → 安装N, except 按装N好", the form
// tavrel-library imports and tavrel-server publishes. False when it cannot be written.
inline bool writeLibraryText(const QString& path, int count) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray lines = "tgrade\ttclass\tterror\ttright\ttbut\n";
    for (int i = 0; i < count; ++i)
        lines += QStringLiteral("基本\t通用\t按装%1\t安装%1\t按装%1好\n").arg(i).toUtf8();
    return f.write(lines) == lines.size();
}
