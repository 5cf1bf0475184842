#include "tamberlin/platform/path_style.h"

namespace tamberlin::platform {

const PathStyle& NativePathStyle() {
    return kWindowsPaths;
}

} // namespace tamberlin::platform
