#include "scene.h"

#include <utility>

#include "loaders.h"
#include "picture.h"
#include "random.h"

std::unique_ptr<Scene> newScene(SDL_Renderer* renderer) {
    auto background1 = NewBackground(background1Stars, starSize, starSize, background1Velocity);
    auto background2 = NewBackground(background2Stars, starSize, starSize, background2Velocity);
    auto leftLogo = NewRotateAnimation(renderer, loadVimbel(), leftLogoSpeed);
    auto rightLogo = NewRotateAnimation(renderer, loadVimbel(), rightLogoSpeed);
    auto rymdskepp = NewRymdskepp(renderer);
    // Centred, wholly below the bottom edge.
    rymdskepp.x = screenWidth / 2 - rymdskeppTextureWidth / 2;
    rymdskepp.y = screenHeight + rymdskeppTextureHeight;
    return std::unique_ptr<Scene>(new Scene{std::move(background1),
                                            std::move(background2),
                                            std::move(leftLogo),
                                            std::move(rightLogo),
                                            std::move(rymdskepp),
                                            {},
                                            {},
                                            {},
                                            {}});
}

// Each slot takes its own reference to a cell's object, so a step run inside
// an update may empty or refill the cell while that object is still running;
// later slots read the cell afresh.
void updateScene(Scene& scene, float deltaTime) {
    scene.background1.Update(deltaTime);
    scene.background2.Update(deltaTime);
    scene.leftLogo.Update(deltaTime);
    scene.rightLogo.Update(deltaTime);
    updateCell(scene.asteroidField, deltaTime);
    updateCell(scene.showRymdskeppAnim, deltaTime);
    scene.rymdskepp.Update(deltaTime);
    updateCell(scene.rymdskeppExplosion, deltaTime);
    updateCell(scene.currentText, deltaTime);
}

void drawScene(Scene& scene, SDL_Renderer* renderer) {
    beginPicture(renderer);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    scene.background1.Draw(renderer);
    scene.background2.Draw(renderer);
    scene.leftLogo.Draw(renderer, logoX, logoY);
    // The width drawn in the previous frame keeps the right edge in place.
    scene.rightLogo.Draw(renderer, screenWidth - scene.rightLogo.Width() - logoX, logoY);
    if (auto field = scene.asteroidField.get()) {
        field->Draw(renderer);
    }
    scene.rymdskepp.Draw(renderer);
    if (auto explosion = scene.rymdskeppExplosion.get()) {
        explosion->Draw(renderer);
    }
    if (auto text = scene.currentText.get()) {
        const auto jx = static_cast<int32_t>(RandomNumber(textJitterMin, textJitterMax));
        const auto jy = static_cast<int32_t>(RandomNumber(textJitterMin, textJitterMax));
        text->DrawCenter(renderer, screenWidth / 2 + jx, screenHeight / 2 + jy);
    }
}
