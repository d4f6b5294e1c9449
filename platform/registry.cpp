#include "registry.h"

#include "fieldtext.h"
#include "filelock.h"
#include "root.h"
#include "winerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {
namespace Registry {

namespace {

struct NamedValue
{
    QString name;
    Value value;
};

struct KeyData
{
    QString name;
    WinError writeFailure = ErrorSuccess;
    QList<NamedValue> values;
};

// Serialises read-modify-write cycles of key files across threads and processes; readers need no lock because
// every file is replaced by a rename. A holder that hangs delays a change, but never stops it for good.
class WriteLock : public FileLock
{
public:
    WriteLock()
        : FileLock(rootPath(QStringLiteral("registry/.lock")), FileLock::Exclusive, PrivateFileMode, 5000)
    { }
};

const char *const hives[]
    = { "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG" };

// Splits a key path into its names, the hive first in its canonical spelling.
bool splitPath(const QString &key, QStringList *names)
{
    *names = key.split(QLatin1Char('\\'));
    bool knownHive = false;
    for (const char *hive : hives) {
        if (names->first().compare(QLatin1String(hive), Qt::CaseInsensitive) == 0) {
            names->first() = QLatin1String(hive);
            knownHive = true;
        }
    }
    if (!knownHive)
        return false;
    for (const QString &name : std::as_const(*names)) {
        // A slash would leave the key's directory; Windows limits key names to 255 characters.
        if (name.isEmpty() || name.size() > 255 || name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
            return false;
    }
    return true;
}

// Each key below a hive is <parent directory>/<name>.key, its subkeys live in <parent directory>/<name>.d, so no
// key name can collide with another key's file or directory. Names are lower-cased: lookups ignore case.
QString directoryOf(const QStringList &names)
{
    QString path = rootPath(QStringLiteral("registry")) + QLatin1Char('/') + names.first().toLower();
    for (int i = 1; i < names.size(); ++i)
        path += QLatin1Char('/') + names.at(i).toLower() + QLatin1String(".d");
    return path;
}

QString fileOf(const QStringList &names)
{
    return directoryOf(names.mid(0, names.size() - 1)) + QLatin1Char('/') + names.last().toLower()
        + QLatin1String(".key");
}

WinError parseKey(const QByteArray &bytes, KeyData *data)
{
    bool named = false;
    const QList<QStringList> records = parseRecords(bytes);
    for (const QStringList &record : records) {
        const QString &kind = record.first();
        bool ok = true;
        if (kind == QLatin1String("key") && record.size() == 2) {
            data->name = record.at(1);
            named = true;
        } else if (kind == QLatin1String("fail-writes") && record.size() == 2) {
            data->writeFailure = WinError(record.at(1).toUInt(&ok));
        } else if (kind == QLatin1String("string") && record.size() == 3) {
            NamedValue entry { record.at(1), Value() };
            entry.value.type = String;
            entry.value.text = record.at(2);
            data->values.append(entry);
        } else if (kind == QLatin1String("number") && record.size() == 3) {
            NamedValue entry { record.at(1), Value() };
            entry.value.type = Number;
            entry.value.number = record.at(2).toUInt(&ok);
            data->values.append(entry);
        } else if (kind == QLatin1String("multi-string") && record.size() >= 2) {
            NamedValue entry { record.at(1), Value() };
            entry.value.type = MultiString;
            entry.value.texts = record.mid(2);
            data->values.append(entry);
        } else {
            ok = false;
        }
        if (!ok)
            return ErrorBadDatabase;
    }
    return named ? ErrorSuccess : ErrorBadDatabase;
}

QByteArray formatKey(const KeyData &data)
{
    QByteArray bytes = formatRecord({ QStringLiteral("key"), data.name });
    if (data.writeFailure != ErrorSuccess)
        bytes += formatRecord({ QStringLiteral("fail-writes"), QString::number(data.writeFailure) });
    for (const NamedValue &entry : data.values) {
        switch (entry.value.type) {
        case String:
            bytes += formatRecord({ QStringLiteral("string"), entry.name, entry.value.text });
            break;
        case Number:
            bytes += formatRecord({ QStringLiteral("number"), entry.name, QString::number(entry.value.number) });
            break;
        case MultiString:
            bytes += formatRecord(QStringList { QStringLiteral("multi-string"), entry.name } + entry.value.texts);
            break;
        case None:
            break;
        }
    }
    return bytes;
}

WinError readFile(const QString &path, KeyData *data)
{
    QFile file(path);
    if (!file.exists())
        return ErrorFileNotFound;
    if (!file.open(QIODevice::ReadOnly))
        return ErrorRegistryIoFailed;
    return parseKey(file.readAll(), data);
}

// The hive itself is a key without a file: it exists, holds no values and refuses them.
WinError loadKey(const QString &key, QStringList *names, KeyData *data)
{
    if (!splitPath(key, names))
        return ErrorInvalidParameter;
    if (names->size() == 1) {
        data->name = names->first();
        return ErrorSuccess;
    }
    return readFile(fileOf(*names), data);
}

WinError saveKey(const QStringList &names, const KeyData &data)
{
    const QString path = fileOf(names);
    if (!ensureDir(QFileInfo(path).absolutePath(), PublicFolderMode)
        || !writeFileAtomically(path, formatKey(data), PrivateFileMode))
        return ErrorRegistryIoFailed;
    return ErrorSuccess;
}

int indexOfValue(const KeyData &data, const QString &name)
{
    for (int i = 0; i < data.values.size(); ++i) {
        if (data.values.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool isUnreadable(WinError status)
{
    return status == ErrorBadDatabase || status == ErrorRegistryIoFailed;
}

// Loads a key for a change: the key must exist below its hive and carry no write failure mark.
WinError loadForChange(const QString &key, QStringList *names, KeyData *data)
{
    const WinError status = loadKey(key, names, data);
    if (status != ErrorSuccess)
        return status;
    if (names->size() == 1)
        return ErrorAccessDenied;
    return data->writeFailure;
}

// Edits a key under the write lock and saves it when change succeeds; a failed change leaves the key as it was.
// A marked key refuses every change but that of its mark.
WinError changeKey(const QString &key, bool honourMark, const std::function<WinError(KeyData &)> &change)
{
    WriteLock lock;
    QStringList names;
    KeyData data;
    const WinError status = honourMark ? loadForChange(key, &names, &data) : loadKey(key, &names, &data);
    if (status != ErrorSuccess)
        return status;
    if (names.size() == 1)
        return ErrorAccessDenied;
    const WinError changed = change(data);
    return changed == ErrorSuccess ? saveKey(names, data) : changed;
}

WinError storeValue(const QString &key, const QString &name, const Value &value)
{
    return changeKey(key, true, [&](KeyData &data) -> WinError {
        const int index = indexOfValue(data, name);
        if (index < 0)
            data.values.append(NamedValue { name, value });
        else
            data.values[index].value = value;
        return ErrorSuccess;
    });
}

} // namespace

bool keyExists(const QString &key)
{
    QStringList names;
    KeyData data;
    return loadKey(key, &names, &data) == ErrorSuccess;
}

WinError createKey(const QString &key)
{
    QStringList names;
    if (!splitPath(key, &names))
        return ErrorInvalidParameter;
    WriteLock lock;
    KeyData parent;
    parent.name = names.first();
    for (int depth = 2; depth <= names.size(); ++depth) {
        const QStringList path = names.mid(0, depth);
        KeyData data;
        const WinError status = readFile(fileOf(path), &data);
        if (status == ErrorFileNotFound) {
            if (parent.writeFailure != ErrorSuccess)
                return parent.writeFailure;
            data.name = path.last();
            const WinError saved = saveKey(path, data);
            if (saved != ErrorSuccess)
                return saved;
        } else if (status != ErrorSuccess) {
            return status;
        }
        parent = data;
    }
    return ErrorSuccess;
}

WinError deleteKey(const QString &key)
{
    WriteLock lock;
    QStringList names;
    KeyData data;
    // A key whose file cannot be read carries no mark that could refuse this; deleting it is the way to make it anew.
    const WinError status = loadForChange(key, &names, &data);
    if (status != ErrorSuccess && !(isUnreadable(status) && !keyExists(key)))
        return status;
    const QDir children(directoryOf(names));
    if (!children.entryList({ QStringLiteral("*.key") }, QDir::Files | QDir::Hidden).isEmpty())
        return ErrorAccessDenied;
    if (!QFile::remove(fileOf(names)))
        return ErrorRegistryIoFailed;
    QDir().rmdir(children.path());
    return ErrorSuccess;
}

WinError queryValue(const QString &key, const QString &name, Value *value)
{
    QStringList names;
    KeyData data;
    const WinError status = loadKey(key, &names, &data);
    if (status != ErrorSuccess)
        return status;
    const int index = indexOfValue(data, name);
    if (index < 0)
        return ErrorFileNotFound;
    *value = data.values.at(index).value;
    return ErrorSuccess;
}

WinError setString(const QString &key, const QString &name, const QString &text)
{
    Value value;
    value.type = String;
    value.text = text;
    return storeValue(key, name, value);
}

WinError setMultiString(const QString &key, const QString &name, const QStringList &texts)
{
    // An empty item would end the list early on Windows, which stores the items separated by their terminators.
    if (texts.contains(QString()))
        return ErrorInvalidParameter;
    Value value;
    value.type = MultiString;
    value.texts = texts;
    return storeValue(key, name, value);
}

WinError setNumber(const QString &key, const QString &name, quint32 number)
{
    Value value;
    value.type = Number;
    value.number = number;
    return storeValue(key, name, value);
}

WinError deleteValue(const QString &key, const QString &name)
{
    return changeKey(key, true, [&](KeyData &data) -> WinError {
        const int index = indexOfValue(data, name);
        if (index < 0)
            return ErrorFileNotFound;
        data.values.removeAt(index);
        return ErrorSuccess;
    });
}

WinError subKeyNames(const QString &key, QStringList *names)
{
    QStringList path;
    KeyData data;
    const WinError status = loadKey(key, &path, &data);
    if (status != ErrorSuccess)
        return status;
    const QDir children(directoryOf(path));
    names->clear();
    const QStringList files = children.entryList({ QStringLiteral("*.key") }, QDir::Files | QDir::Hidden);
    for (const QString &file : files) {
        KeyData child;
        const WinError childStatus = readFile(children.filePath(file), &child);
        // Deleted meanwhile, or unreadable: one broken key must not hide its siblings.
        if (childStatus == ErrorSuccess)
            names->append(child.name);
    }
    std::sort(names->begin(), names->end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return ErrorSuccess;
}

WinError valueNames(const QString &key, QStringList *names)
{
    QStringList path;
    KeyData data;
    const WinError status = loadKey(key, &path, &data);
    if (status != ErrorSuccess)
        return status;
    names->clear();
    for (const NamedValue &entry : std::as_const(data.values))
        names->append(entry.name);
    return ErrorSuccess;
}

WinError setWriteFailure(const QString &key, WinError status)
{
    return changeKey(key, false, [status](KeyData &data) -> WinError {
        data.writeFailure = status;
        return ErrorSuccess;
    });
}

} // namespace Registry
} // namespace Platform
} // namespace Velmor
