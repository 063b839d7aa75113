#include "store/widgets/LinkChanges.h"

namespace vornakle {

void LinkChanges::CheckBegun(const TBookTree* node) {
    testing_.insert(node);
    Changed(node);
}

void LinkChanges::CheckEnded(const TBookTree* node) {
    testing_.erase(node);
    Changed(node);
}

}  // namespace vornakle
