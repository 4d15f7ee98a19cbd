#include "rymdskepp.h"

#include "loaders.h"

namespace {

std::vector<uint8_t>* rymdskeppAsset = nullptr;
SDL_RWops* rymdskeppRWops = nullptr;
SDL_Surface* rymdskeppSurface = nullptr;

}  // namespace

SDL_Surface* loadRymdskepp() {
    return loadCachedImage("res/rymdskepp.png", rymdskeppAsset, rymdskeppRWops, rymdskeppSurface);
}

Rymdskepp NewRymdskepp(SDL_Renderer* renderer) {
    Rymdskepp rymdskepp;
    rymdskepp.show = true;
    rymdskepp.sprite = NewSprite(renderer, loadRymdskepp());
    rymdskepp.jetBeam =
        NewJetBeamParticleEffect(0.0f, 0.0f, rymdskeppJetBeamWidth, rymdskeppJetBeamHeight,
                                 rymdskeppJetBeamYellowParticles, rymdskeppJetBeamOrangeParticles);
    return rymdskepp;
}

void Rymdskepp::Update(float deltaTime) {
    jetBeam.Update(deltaTime, static_cast<float>(x + rymdskeppJetBeamOffsetX),
                   static_cast<float>(y + rymdskeppJetBeamOffsetY));
}

void Rymdskepp::Draw(SDL_Renderer* renderer) {
    if (!show) {
        return;
    }
    // The exhaust lies under the ship.
    jetBeam.Draw(renderer);
    sprite.Draw(renderer, x, y);
}
