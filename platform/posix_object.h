#pragma once

namespace larkspan::platform {

// A POSIX object set up by its init function (posix_spawnattr_init,
// pthread_attr_init, ...) and destroyed only when that succeeded.
template <typename Object, auto Init, auto Destroy>
class PosixObject {
 public:
  PosixObject() : ok_(Init(&object_) == 0) {}
  ~PosixObject() {
    if (ok_) Destroy(&object_);
  }
  PosixObject(const PosixObject&) = delete;
  PosixObject& operator=(const PosixObject&) = delete;

  bool ok() const { return ok_; }
  Object* get() { return &object_; }

 private:
  Object object_{};
  bool ok_;
};

}  // namespace larkspan::platform
