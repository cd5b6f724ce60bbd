#pragma once

// The enciphered deployment table, generated at build time from the deployment
// file (CMake cache variable VANTELOR_DEPLOYMENT). Every text is the Base64 of
// SymmetricCipher ciphertext, except slot 6 of the service table, which is
// plain; an empty text is an empty value.
namespace DeploymentData {
constexpr int kApiSlotCount = 32;
constexpr int kEntryCount = 16;
extern const char* const kApiSlots[kApiSlotCount];
extern const char* const kEntries[kEntryCount];
} // namespace DeploymentData
