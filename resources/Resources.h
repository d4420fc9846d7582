#pragma once
// The embedded pictures, polylines and name table live in a static library; Qt only registers
// such resources when asked. Call once before opening any ":/..." path.

void InitNimboraResources();
