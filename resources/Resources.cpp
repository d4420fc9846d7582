#include "resources/Resources.h"

#include <QtCore/qglobal.h>
#include <QtCore/qresource.h>

#include <mutex>

namespace {
// Q_INIT_RESOURCE declares a function at the call site, so it has to stay outside any namespace.
void RegisterOnce() {
    Q_INIT_RESOURCE(resources);
}
} // namespace

void InitNimboraResources() {
    static std::once_flag once;
    std::call_once(once, RegisterOnce);
}
