#include "core/store/FileKeySource.h"

#include <cstddef>

void BuildRunTimeKey(const FileKeySource& source, std::vector<BYTE>& key)
{
    key.clear();
    key.resize(16, 0);
    const DWORD* material = source.Material();
    if (material == nullptr) {
        return;
    }
    for (int word = 0; word < 2; ++word) {
        for (int i = 0; i < 4; ++i) {
            key[static_cast<size_t>(word * 4 + i)] = static_cast<BYTE>(material[word] >> (8 * i));
        }
    }
}
