#include "stage.h"

#include <cstddef>
#include <iterator>

#include "script.h"

DemoStage demoStage(const Scene& scene) {
    if (const auto entrance = scene.showRymdskeppAnim.get()) {
        return entrance->show ? DemoStage::Entrance : DemoStage::Greeting;
    }
    if (!scene.rymdskeppExplosion.empty()) {
        return DemoStage::Explosion;
    }
    if (scene.rymdskepp.show) {
        return DemoStage::Asteroids;
    }
    const auto text = scene.currentText.get();
    constexpr size_t lastLine = std::size(demoLines) - 1;
    if (text && text->state == FADING_STOPPED && text->text.text == demoLines[lastLine]) {
        return DemoStage::Ended;
    }
    return DemoStage::Closing;
}

const char* demoStageName(DemoStage stage) {
    switch (stage) {
        case DemoStage::Greeting:
            return "greeting";
        case DemoStage::Entrance:
            return "entrance";
        case DemoStage::Asteroids:
            return "asteroids";
        case DemoStage::Explosion:
            return "explosion";
        case DemoStage::Closing:
            return "closing";
        case DemoStage::Ended:
            return "ended";
    }
    return "?";
}
