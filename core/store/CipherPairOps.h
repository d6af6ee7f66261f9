#pragma once
//
//  The way every stored item uses its cipher pair: AES with CBC, keyed once, each buffer
//  enciphered as one chain from the all-zero initialisation vector.
//
#include "classlib/WinTypes.h"

#include <string>

class CipherPair;

const DWORD kRecordBlockSize = 16;

// Creates the pair's AES cipher and CBC mode and keys them; the initialisation vector is set
// (all zero) only when the key is accepted. Returns the crypto result code (0 success).
int KeyAesCbc(CipherPair& pair, const BYTE* key, DWORD keyLength);

// Restart the chain at the initialisation vector and encipher or decipher length bytes in
// place (a multiple of the block size). Return the crypto result code (0 success).
int EncryptWhole(CipherPair& pair, BYTE* data, DWORD length);
int DecryptWhole(CipherPair& pair, BYTE* data, DWORD length);
