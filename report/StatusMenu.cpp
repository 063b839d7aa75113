#include "report/StatusMenu.h"

#include <QAction>
#include <QMenu>

#include "store/LinkStatus.h"
#include "store/widgets/ImageList.h"

namespace vornakle {

QMenu* AddStatusMenu(QMenu* menu, QObject* context, std::function<void(int)> onStatus) {
    struct StatusItem {
        const char* name;
        const char* caption;
        LinkStatusCode tag;
    };
    static constexpr StatusItem kItems[] = {
        {"PMSSOK", "&OK", kStatusOkByHand},
        {"PMSSNotTested", "&Not Tested", kStatusNotTested},
        {"PMSSInvalid", "&Invalid", kStatusInvalidByHand},
        {"PMSSUnknown", "&Unknown", kStatusUnknown},
    };
    QMenu* submenu = menu->addMenu(QStringLiteral("&Set Status"));
    submenu->setObjectName(QStringLiteral("PMSetStatus"));
    for (const StatusItem& item : kItems) {
        QAction* action = submenu->addAction(TImageList::Shared().Icon(StatusImageIndex(item.tag)),
                                             QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromUtf8(item.name));
        action->setData(item.tag);
        QObject::connect(action, &QAction::triggered, context,
                         [onStatus, tag = item.tag] { onStatus(tag); });
    }
    submenu->setDefaultAction(submenu->actions().first());
    return submenu;
}

}  // namespace vornakle
