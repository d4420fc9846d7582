#include "widgets/MenuCaption.h"

namespace nimbora {

QString MenuCaption(const std::string& text) {
    QString caption = QString::fromStdString(text);
    caption.replace(QLatin1Char('&'), QLatin1String("&&"));
    return caption;
}

} // namespace nimbora
