#pragma once

#include <memory>
#include <utility>

// A slot of the scene that is empty or holds one object. Whoever runs an
// object takes its own reference first (get), so the object stays alive until
// that call returns even if a callback inside it empties or refills the cell.
template <typename T>
class SceneCell {
  public:
    std::shared_ptr<T> get() const { return object_; }
    void set(std::shared_ptr<T> object) { object_ = std::move(object); }
    void clear() { object_.reset(); }
    bool empty() const { return object_ == nullptr; }

  private:
    std::shared_ptr<T> object_;
};

// Runs one update of a cell's object, if any, holding it alive until the
// update returns even if a step run inside it empties or refills the cell.
template <typename T>
void updateCell(const SceneCell<T>& cell, float deltaTime) {
    if (std::shared_ptr<T> object = cell.get()) {
        object->Update(deltaTime);
    }
}
