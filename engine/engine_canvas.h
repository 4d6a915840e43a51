// EngineCanvas: what the engine needs of the object that holds its canvas and puts frames on
// the screen. The presenter implements it in the layer above the engine; the engine owns the
// object once it is handed over and stops it before destroying it.
//
// Deliberately small: operations are added here as the engine's drawing code comes to need
// them, so the engine never depends on the presenter's own headers.
#pragma once

namespace quovis {

class EngineCanvas {
  public:
    virtual ~EngineCanvas() = default;
    // Ends any work the canvas runs on its own (its band workers); called under the engine
    // lock just before the engine destroys the object.
    virtual void Stop() = 0;
};

}  // namespace quovis
