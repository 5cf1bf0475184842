// The session factory both CDO implementations share.
#include "platform/cdo.h"

#include "platform/seams.h"

namespace tamberlin::platform::cdo {
namespace {
std::function<ObjectPtr()> g_factory;
} // namespace

ObjectPtr CreateSession() {
    return g_factory ? g_factory() : CreateSystemSession();
}

void InstallSessionFactory(std::function<ObjectPtr()> factory) {
    g_factory = std::move(factory);
}

} // namespace tamberlin::platform::cdo
