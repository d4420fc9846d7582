#pragma once
// Scoped OpenGL state: what a drawing step changes is put back when the step ends.
#include <GL/gl.h>

#include <initializer_list>
#include <utility>

namespace nimbora {

// Turns capabilities on or off for a scope and restores each one's previous setting after.
class TGlCapabilities {
public:
    TGlCapabilities(std::initializer_list<std::pair<GLenum, bool>> settings) {
        for (const auto& [capability, on] : settings) {
            if (Count == MaxSettings) break;
            Saved[Count++] = {capability, glIsEnabled(capability) == GL_TRUE};
            on ? glEnable(capability) : glDisable(capability);
        }
    }
    ~TGlCapabilities() {
        while (Count > 0) {
            const auto& [capability, was] = Saved[--Count];
            was ? glEnable(capability) : glDisable(capability);
        }
    }
    TGlCapabilities(const TGlCapabilities&) = delete;
    TGlCapabilities& operator=(const TGlCapabilities&) = delete;

private:
    static constexpr int MaxSettings = 6;
    std::pair<GLenum, bool> Saved[MaxSettings];
    int Count = 0;
};

// The modelview matrix of a scope: pushed at its start, popped at its end.
class TGlMatrixScope {
public:
    TGlMatrixScope() { glPushMatrix(); }
    ~TGlMatrixScope() { glPopMatrix(); }
    TGlMatrixScope(const TGlMatrixScope&) = delete;
    TGlMatrixScope& operator=(const TGlMatrixScope&) = delete;
};

} // namespace nimbora
