#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

bool IniFile::Readable() const {
    QFileInfo fi(path_);
    return fi.exists() && fi.isFile() && fi.isReadable();
}

QString IniFile::GetValue(const QString& section, const QString& key, const QString& def) const {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly)) return def;
    QByteArray raw = f.readAll();
    const QString text = DecodeSettingsText(raw);
    const QStringList lines = text.split('\n');
    bool inSection = false;
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            int close = line.indexOf(']');
            QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection) continue;
        int eq = line.indexOf('=');
        if (eq < 0) continue;
        if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) return line.mid(eq + 1).trimmed();
    }
    return def;
}

QString DecodeSettingsText(QByteArray raw) {
    if (raw.startsWith("\xff\xfe") || raw.startsWith("\xfe\xff")) {
        auto dec = QStringDecoder(raw.startsWith("\xff\xfe") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return dec(raw.mid(2));
    }
    if (raw.startsWith("\xef\xbb\xbf")) raw = raw.mid(3);
    return QString::fromUtf8(raw);
}
