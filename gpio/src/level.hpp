#pragma once

namespace gpio {

enum class Level { Low, High };

constexpr Level opposite(Level level) { return level == Level::High ? Level::Low : Level::High; }

}  // namespace gpio
