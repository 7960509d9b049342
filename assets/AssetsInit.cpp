// SPDX-License-Identifier: MIT
// Anchor for the assets library; the pictures themselves are compiled-in Qt resources.
namespace zaplo {
int AssetsLibraryAnchor() {
    return 0;
}
} // namespace zaplo
