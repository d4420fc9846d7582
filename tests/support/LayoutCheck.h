#pragma once
// What a user would see clipped in a window: texts and buttons that get less room than they ask
// for, or that reach outside the window or one of their parents.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace nimbora::test {

inline std::vector<std::string> ClippedControls(const QWidget& window,
                                                const std::function<bool(QWidget*)>& skip = {}) {
    std::vector<std::string> found;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || (skip && skip(w))) continue;
        QString what;
        QSize wants;
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            what = label->text();
            wants = label->sizeHint();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            what = button->text();
            wants = button->sizeHint();
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            what = group->title();
            wants = group->minimumSizeHint();
        } else {
            continue;
        }
        const std::string name = (w->objectName().isEmpty() ? what : w->objectName()).toStdString();
        if (wants.width() > w->width() || wants.height() > w->height())
            found.push_back(name + " wants " + std::to_string(wants.width()) + "x" +
                            std::to_string(wants.height()) + ", has " + std::to_string(w->width()) +
                            "x" + std::to_string(w->height()));
        for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
            const QRect inParent(w->mapTo(p, QPoint(0, 0)), w->size());
            if (!p->rect().contains(inParent))
                found.push_back(name + " reaches outside " +
                                (p->objectName().isEmpty()
                                     ? std::string(p->metaObject()->className())
                                     : p->objectName().toStdString()));
            if (p == &window) break;
        }
    }
    return found;
}

} // namespace nimbora::test
