#include "show-rymdskepp.h"

#include <utility>

#include "picture.h"
#include "truncate.h"

namespace {

constexpr int32_t showRymdskeppStartBelow = 64;

}  // namespace

ShowRymdskepp NewShowRymdskepp(Rymdskepp* rymdskepp, float speed, std::function<void()> onStop) {
    ShowRymdskepp entrance;
    entrance.rymdskepp = rymdskepp;
    entrance.speed = speed;
    entrance.onStop = std::move(onStop);
    entrance.y = static_cast<float>(screenHeight + showRymdskeppStartBelow);
    entrance.show = false;
    entrance.stop = false;
    return entrance;
}

void ShowRymdskepp::Update(float deltaTime) {
    if (!show || stop) {
        return;
    }
    y -= deltaTime * speed;
    // Not snapped to the middle: the last step ends wherever it takes the ship.
    const int32_t half = screenHeight / 2;
    if (y <= static_cast<float>(half)) {
        stop = true;
        if (onStop) {
            onStop();
        }
    }
    rymdskepp->y = truncateToInt32(y);
}
