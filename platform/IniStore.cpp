#include "platform/IniStore.h"

#include "platform/Files.h"

namespace nimbora {

void CommitIni(const TIniBatch& batch, const std::string& path) {
    ReplaceFileAtomically(path, batch.ApplyToFile(path));
}

void CommitIniFresh(const TIniBatch& batch, const std::string& path) {
    ReplaceFileAtomically(path, batch.Apply(std::string()));
}

void WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    TIniBatch batch;
    batch.WriteString(section, key, value);
    CommitIni(batch, path);
}

} // namespace nimbora
