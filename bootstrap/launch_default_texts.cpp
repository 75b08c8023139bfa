// The launch told with today's texts, for tests. Apart from launch.cpp so
// that the bootstrap, which always passes its own messenger, does not carry
// it.
#include "bootstrap/launch.h"

namespace vcboot {

RunOutcome launch_installer(Platform& platform, RunState& state) {
  const MessageTexts defaults;
  Messenger messenger(platform, defaults);
  return launch_installer(platform, state, messenger);
}

}  // namespace vcboot
