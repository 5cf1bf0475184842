#include "tamberlin/platform/path_style.h"

namespace tamberlin::platform {

const PathStyle& NativePathStyle() {
    return kPosixPaths;
}

} // namespace tamberlin::platform
