#pragma once
// A scratch folder for one test, removed with everything in it when the test ends.
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

namespace nimbora::test {

class TempDir {
public:
    TempDir() { Dir.setAutoRemove(true); }
    QString path() const { return Dir.path(); }
    // Path of a file inside the folder.
    QString file(const QString& name) const { return Dir.filePath(name); }
    std::string str(const QString& name = {}) const {
        return (name.isEmpty() ? Dir.path() : Dir.filePath(name)).toStdString();
    }

private:
    QTemporaryDir Dir;
};

// Sets an environment variable for the life of the object, then puts the old state back.
class TScratchEnv {
public:
    TScratchEnv(const char* name, const std::string& value) : Name(name) {
        if (const char* old = std::getenv(name)) {
            HadValue = true;
            OldValue = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~TScratchEnv() { HadValue ? setenv(Name, OldValue.c_str(), 1) : unsetenv(Name); }
    TScratchEnv(const TScratchEnv&) = delete;
    TScratchEnv& operator=(const TScratchEnv&) = delete;

private:
    const char* Name;
    std::string OldValue;
    bool HadValue = false;
};

// Whole contents of a file as bytes (empty when it cannot be read).
std::string ReadWholeFile(const std::string& path);
// Replaces a file's contents; returns false when it cannot be written.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

} // namespace nimbora::test
