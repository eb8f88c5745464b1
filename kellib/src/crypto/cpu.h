/*
 * Run-time choice between the portable cipher code and the x86 instruction
 * set extensions (SHA-NI, AES-NI).  The hardware is probed once; tests and
 * benchmarks can pin the portable code so both paths are exercised on a
 * machine that has the extensions.
 */
#ifndef KELLIB_CRYPTO_CPU_H
#define KELLIB_CRYPTO_CPU_H

namespace kel::crypto {

/* What the processor offers (probed once, then cached). */
bool cpu_has_sha_ni();
bool cpu_has_aes_ni();

/* Pins every primitive to its portable code while on.  Meant for tests and
 * benchmarks; may be called from any thread, takes effect on the next call
 * into a primitive. */
void set_force_portable(bool on);
bool force_portable();

/* The paths the primitives take right now. */
bool use_sha_ni();
bool use_aes_ni();

/* Pins the portable code for the lifetime of the object, restoring the
 * previous choice afterwards. */
class PortableScope {
public:
    explicit PortableScope(bool on = true) : previous_(force_portable()) { set_force_portable(on); }
    ~PortableScope() { set_force_portable(previous_); }
    PortableScope(const PortableScope &) = delete;
    PortableScope &operator=(const PortableScope &) = delete;

private:
    bool previous_;
};

} // namespace kel::crypto

#endif /* KELLIB_CRYPTO_CPU_H */
