// vornakle-convert: carries bookmarks between browsers and a Favorites
// collection.
#include <string>
#include <vector>

#include "cli/convert/ConvertProgram.h"

int main(int argc, char** argv) {
    // The arguments as bytes: paths are never decoded.
    return vornakle::RunConvertProgram(std::vector<std::string>(argv + 1, argv + argc), stdout,
                                       stderr);
}
