#pragma once

// Registers the compiled-in icons; the program and the tests call it once
// before the first window is built (the resources live in a static library).
void InitQuilloraResources();
