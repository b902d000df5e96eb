#include "app/ActivationComponent.h"

#include <memory>

namespace {

std::unique_ptr<ActivationComponent>& component()
{
    static std::unique_ptr<ActivationComponent> shared;
    return shared;
}

} // namespace

ActivationComponent& ActivationComponent::instance()
{
    auto& shared = component();
    if (!shared)
        shared.reset(new ActivationComponent);
    return *shared;
}

bool ActivationComponent::exists() { return component() != nullptr; }

void ActivationComponent::activate(WId handle, int flag)
{
    ++m_count;
    m_lastHandle = handle;
    m_lastFlag = flag;
}
