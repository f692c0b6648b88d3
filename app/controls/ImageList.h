#pragma once
// An icon list shared by the two file lists: images addressed by index.
#include <QImage>
#include <QColor>
#include <QByteArray>

#include <string>
#include <vector>

namespace ui {

class ImageList {
public:
    int imageCount() const { return static_cast<int>(images_.size()); }
    const QImage& image(int index) const { return images_.at(static_cast<size_t>(index)); }
    bool contains(int index) const { return index >= 0 && index < imageCount(); }

    // Appends a ready image; returns its index.
    int addImage(const QImage& image);

    // Decodes a picture (BMP, PNG, ICO bytes...) and adds it; the transparent
    // colour's pixels become transparent. Without a colour the top-left
    // pixel's colour is used. Returns the new index, or -1 when the bytes
    // cannot be decoded.
    int addPicture(const QByteArray& picture, const QColor* transparent = nullptr);

    // Adds icon number iconIndex of an icon file (.ico); -1 when the file
    // holds no such icon.
    int addIconFromFile(const std::string& fileName, int iconIndex = 0);

private:
    std::vector<QImage> images_;
};

} // namespace ui
