#include "sdk-core/BCNComponent.h"

namespace beacon {

std::shared_ptr<const BCNDependency> BCNDependency::dependencyWithProtocol(Protocol protocol) {
  return dependencyWithProtocol(std::move(protocol), true);
}

std::shared_ptr<const BCNDependency> BCNDependency::dependencyWithProtocol(Protocol protocol,
                                                                           bool isRequired) {
  return std::make_shared<const BCNDependency>(std::move(protocol), isRequired);
}

BCNComponent::BCNComponent(Protocol protocol, BCNInstantiationTiming instantiationTiming,
                           std::vector<std::shared_ptr<const BCNDependency>> dependencies,
                           BCNComponentCreationBlock creationBlock)
    : protocol_(std::move(protocol)),
      instantiationTiming_(instantiationTiming),
      dependencies_(std::move(dependencies)),
      creationBlock_(std::move(creationBlock)) {}

std::shared_ptr<const BCNComponent> BCNComponent::componentWithProtocol(
    Protocol protocol, BCNComponentCreationBlock creationBlock) {
  return componentWithProtocol(std::move(protocol), BCNInstantiationTiming::Lazy, {},
                               std::move(creationBlock));
}

std::shared_ptr<const BCNComponent> BCNComponent::componentWithProtocol(
    Protocol protocol, BCNInstantiationTiming instantiationTiming,
    std::vector<std::shared_ptr<const BCNDependency>> dependencies, BCNComponentCreationBlock creationBlock) {
  return std::make_shared<const BCNComponent>(std::move(protocol), instantiationTiming,
                                              std::move(dependencies), std::move(creationBlock));
}

}  // namespace beacon
