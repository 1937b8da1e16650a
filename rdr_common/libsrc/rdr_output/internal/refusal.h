// The product readers and writers refuse a file or a product by throwing where the fault
// is found, and report the reason once, where the work began. Every exit between frees
// what was built so far.
#ifndef RDR_REFUSAL_H
#define RDR_REFUSAL_H

#include <string>
#include <utility>

namespace refusal {

class Refusal {
  public:
    explicit Refusal(std::string why) : why_(std::move(why)) {}
    const std::string& why() const { return why_; }

  private:
    std::string why_;
};

[[noreturn]] inline void refuse(const std::string& why) {
    throw Refusal(why);
}

}  // namespace refusal

#endif
