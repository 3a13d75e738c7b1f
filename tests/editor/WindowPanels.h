// The two editors as the window tests click them: panel height, the Power button and a point
// inside the front page's page switch, in window pixels.
#pragma once

struct Panel {
    const char* name;
    int height;
    int powerX, powerY;    // centre of the Power button
    int switchX, switchY;  // inside the front page's page-switch area
};

inline const Panel kPanels[] = {
    {"grandpress", 460, 59, 412, 150, 413},
    {"tinypress", 378, 58, 331, 180, 330},
};

struct RGB {
    int r, g, b;
};
