#include "store/widgets/LinkChanges.h"

namespace vornakle {

void LinkChanges::SetBeingTested(const TBookTree* node, bool testing) {
    const bool changed = testing ? testing_.insert(node).second : testing_.erase(node) > 0;
    if (changed) {
        Changed(node);
    }
}

}  // namespace vornakle
