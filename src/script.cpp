#include "script.h"

#include <utility>

#include "color.h"
#include "frame-loop.h"
#include "loaders.h"

std::shared_ptr<FaceInFadeOut> newTextLine(const char* line, std::function<void()> onStop) {
    TTF_Font* textFont = loadFont();
    const SDL_Color color = GetRandomColor();
    return std::make_shared<FaceInFadeOut>(
        NewFadeInFadeOut(NewText(textFont, line, color), textFadeSpeed, std::move(onStop)));
}

std::unique_ptr<Scene> buildScene(SDL_Renderer* renderer) {
    std::unique_ptr<Scene> scene = newScene(renderer);

    // Each step captures only what it uses; each is defined before the step
    // that hands it on.
    Rymdskepp& ship = scene->rymdskepp;
    SceneCell<FaceInFadeOut>& currentText = scene->currentText;
    SceneCell<ShowRymdskepp>& showRymdskeppAnim = scene->showRymdskeppAnim;
    SceneCell<AsteroidField>& asteroidField = scene->asteroidField;
    SceneCell<ExplosionParticleEffect>& rymdskeppExplosion = scene->rymdskeppExplosion;

    std::function<void()> endDemo = [] { running = false; };
    std::function<void()> text10 = [&currentText, endDemo] {
        currentText.set(newTextLine(demoLines[10], endDemo));
    };
    std::function<void()> text9 = [&currentText, text10] {
        currentText.set(newTextLine(demoLines[9], text10));
    };
    std::function<void()> text8 = [&currentText, text9] {
        currentText.set(newTextLine(demoLines[8], text9));
    };
    std::function<void()> text7 = [&currentText, text8] {
        currentText.set(newTextLine(demoLines[7], text8));
    };
    std::function<void()> text6 = [&currentText, text7] {
        currentText.set(newTextLine(demoLines[6], text7));
    };
    std::function<void()> afterExplosion = [&rymdskeppExplosion, &currentText, text6] {
        rymdskeppExplosion.clear();
        currentText.set(newTextLine(demoLines[5], text6));
    };
    std::function<void()> explodeRymdskepp = [&ship, &rymdskeppExplosion, afterExplosion] {
        ship.show = false;
        // At the ship's centre, summed in whole pixels.
        const auto x = static_cast<float>(ship.x + rymdskeppTextureWidth / 2);
        const auto y = static_cast<float>(ship.y + rymdskeppTextureHeight / 2);
        rymdskeppExplosion.set(std::make_shared<ExplosionParticleEffect>(
            NewExplosionParticleEffect(x, y, afterExplosion)));
    };
    std::function<void()> pilotRymdskepp = [renderer, &asteroidField, &showRymdskeppAnim,
                                            explodeRymdskepp] {
        asteroidField.set(
            std::make_shared<AsteroidField>(NewAsteroidField(renderer, explodeRymdskepp)));
        showRymdskeppAnim.clear();
    };
    showRymdskeppAnim.set(std::make_shared<ShowRymdskepp>(
        NewShowRymdskepp(&ship, showRymdskeppSpeed, pilotRymdskepp)));

    std::function<void()> showRymdskepp = [&showRymdskeppAnim] {
        showRymdskeppAnim.get()->SetShow(true);
    };
    std::function<void()> text5 = [&currentText, showRymdskepp] {
        currentText.set(newTextLine(demoLines[4], showRymdskepp));
    };
    std::function<void()> text4 = [&currentText, text5] {
        currentText.set(newTextLine(demoLines[3], text5));
    };
    std::function<void()> text3 = [&currentText, text4] {
        currentText.set(newTextLine(demoLines[2], text4));
    };
    std::function<void()> text2 = [&currentText, text3] {
        currentText.set(newTextLine(demoLines[1], text3));
    };
    currentText.set(newTextLine(demoLines[0], text2));
    return scene;
}
