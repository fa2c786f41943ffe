#pragma once
// FakePictureControl: a picture control for the window logic's tests. Its bitmaps "load" the picture the
// test put into `source` (whatever the path, as long as `loadError` is empty) and "save" into `saved`,
// keyed by path; the files it was asked to show are recorded in `shown`. Header-only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap_conversion.h"
#include "tests/support/memory_bitmap.h"

namespace hlx::test {

class FakePictureControl : public imaging::PictureControl {
public:
    std::unique_ptr<imaging::Bitmap> newBitmap() const override { return std::make_unique<Picture>(*this); }
    void showPictureFile(const std::string& path) override { shown.push_back(path); }

    MemoryBitmap source{1, 1};
    std::string loadError;
    mutable std::map<std::string, MemoryBitmap> saved;
    std::vector<std::string> shown;

private:
    class Picture : public MemoryBitmap {
    public:
        explicit Picture(const FakePictureControl& control) : m_control(control) {}
        base::Status load(const std::string&) override {
            if (!m_control.loadError.empty()) return base::Status::error(m_control.loadError);
            static_cast<MemoryBitmap&>(*this) = m_control.source;
            return base::Status::ok();
        }
        base::Status save(const std::string& path) const override {
            m_control.saved.insert_or_assign(path, static_cast<const MemoryBitmap&>(*this));
            return base::Status::ok();
        }

    private:
        const FakePictureControl& m_control;
    };
};

}  // namespace hlx::test
