// IniFile: reads values of an INI file by section and key.
// Sections "[NAME]" and keys "KEY=value" match case-insensitively; the value
// is the text after "=" with blanks trimmed; lines starting with ";" or "#"
// are comments. A missing file, section or key gives the default (empty text
// unless given). The file is read on each GetValue, so edits take effect at
// once. UTF-8 text (a BOM is skipped) or UTF-16 with a byte-order mark.
#pragma once
#include <QByteArray>
#include <QString>

class IniFile {
public:
    void FileName(const QString& path) { path_ = path; }
    QString FileName() const { return path_; }
    // True when the file exists and can be read.
    bool Readable() const;
    QString GetValue(const QString& section, const QString& key, const QString& def = QString()) const;

private:
    QString path_;
};

// The text of a settings file: UTF-16 with a byte-order mark (as editors
// often save it), else UTF-8 with or without its mark.
QString DecodeSettingsText(QByteArray raw);
