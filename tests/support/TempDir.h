#pragma once
// A scratch folder for one test, removed with everything in it when the test ends.
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

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

// Sets an environment variable for the life of the object, then puts the old state back.
class TScratchEnv {
public:
    TScratchEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~TScratchEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }
    TScratchEnv(const TScratchEnv&) = delete;
    TScratchEnv& operator=(const TScratchEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// Whole contents of a file as bytes (empty when it cannot be read).
std::string ReadWholeFile(const std::string& path);
// Replaces a file's contents; returns false when it cannot be written.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

} // namespace nimbora::test
