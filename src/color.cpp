#include "color.h"

#include "random.h"

const SDL_Color colors[colorCount] = {
    {203, 166, 247, 255}, {243, 139, 168, 255}, {235, 160, 172, 255}, {250, 179, 135, 255},
    {249, 226, 175, 255}, {166, 227, 161, 255}, {148, 226, 213, 255}, {137, 220, 235, 255},
    {116, 199, 236, 255}, {137, 180, 250, 255}, {180, 190, 254, 255},
};

SDL_Color GetRandomColor() {
    return colors[RandomNumber(0, colorCount)];
}
