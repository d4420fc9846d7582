#pragma once
// A scratch folder for one test, removed with everything in it when the test ends.
#include <QString>
#include <QTemporaryDir>

namespace nimbora::test {

class TempDir {
public:
    TempDir() { dir_.setAutoRemove(true); }
    QString path() const { return dir_.path(); }
    // Path of a file inside the folder.
    QString file(const QString& name) const { return dir_.filePath(name); }
    std::string str(const QString& name = {}) const {
        return (name.isEmpty() ? dir_.path() : dir_.filePath(name)).toStdString();
    }

private:
    QTemporaryDir dir_;
};

// Whole contents of a file as bytes (empty when it cannot be read).
std::string ReadWholeFile(const std::string& path);
// Replaces a file's contents; returns false when it cannot be written.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

} // namespace nimbora::test
