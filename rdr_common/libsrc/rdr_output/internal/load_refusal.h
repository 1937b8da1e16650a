// The product loaders refuse a file by throwing where the fault is found, and report the
// reason once, where the load began. Every exit between frees what was built so far.
#ifndef RDR_LOAD_REFUSAL_H
#define RDR_LOAD_REFUSAL_H

#include <string>
#include <utility>

namespace load_refusal {

class LoadError {
  public:
    explicit LoadError(std::string why) : why_(std::move(why)) {}
    const std::string& why() const { return why_; }

  private:
    std::string why_;
};

[[noreturn]] inline void refuse(const std::string& why) {
    throw LoadError(why);
}

}  // namespace load_refusal

#endif
