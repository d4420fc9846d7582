#include "resources/Resources.h"

#include <QtCore/qglobal.h>
#include <QtCore/qresource.h>

// Q_INIT_RESOURCE declares a function at the call site, so it has to stay outside any namespace.
void InitNimboraResources() {
    Q_INIT_RESOURCE(resources);
}
