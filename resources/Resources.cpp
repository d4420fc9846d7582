#include "resources/Resources.h"

#include <QtCore/qglobal.h>
#include <QtCore/qresource.h>

#include <mutex>

// Q_INIT_RESOURCE declares a function at the call site, so it has to stay outside any namespace
// (an anonymous one included).
static void RegisterNimboraResources() {
    Q_INIT_RESOURCE(resources);
}

void InitNimboraResources() {
    static std::once_flag once;
    std::call_once(once, RegisterNimboraResources);
}
