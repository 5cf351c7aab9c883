// The writer's own swfObject and swfAction, as the movie sees them.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "swf/Definitions.h"
#include "swf/Swf.h"

namespace swf {

class ObjectImpl final : public ISwfObject {
public:
    explicit ObjectImpl(const JpegOptions& jpeg) : id_(NextId()), jpeg_(jpeg) {}
    ~ObjectImpl() override;
    ObjectImpl(const ObjectImpl&) = delete;
    ObjectImpl& operator=(const ObjectImpl&) = delete;

    void MakePicture(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width, int32_t height,
                     const std::string& path) override;
    void MakeSound(const std::string& path) override;
    void MakePolygon(int32_t x, int32_t y) override;
    void AddStraightLine(int32_t dx, int32_t dy) override;
    void Translate(int32_t x, int32_t y) override;
    void MakeFont(const std::string& faceName) override;
    void AddGlyph(const std::string& faceName, const std::string& character, int32_t code) override;
    void MakeTextEx(const std::string& text, ISwfObject& font, double x, double y,
                    double height) override;
    void SetSolidFill(uint8_t red, uint8_t green, uint8_t blue, int32_t alpha) override;
    // Reads and checks the next few expected pictures on the workers while
    // the caller goes on; MakePicture takes them from there.
    void ExpectPictures(const std::vector<std::string>& paths) override;

    uint64_t Id() const { return id_; }
    // The current definition, shared with every placement made of it.
    std::shared_ptr<const Definition> Snapshot() const { return def_; }
    int32_t TranslateX() const { return tx_; }
    int32_t TranslateY() const { return ty_; }

private:
    static uint64_t NextId() {
        static std::atomic<uint64_t> next{1};
        return next++;
    }
    void Define(Definition d);
    void ReadAhead();
    std::shared_ptr<const PictureData> TakeReadAhead(const std::string& path);
    Definition& Mutable();  // copy on write when a placement shares it

    uint64_t id_;
    JpegOptions jpeg_;
    std::shared_ptr<Definition> def_ = std::make_shared<Definition>();
    int32_t tx_ = 0, ty_ = 0;
    struct ReadAheadResult {
        FileStamp stamp;
        std::shared_ptr<const PictureData> image;
    };
    struct ReadAheadItem {
        std::string path;
        std::shared_ptr<Job<ReadAheadResult>> job;
    };
    void DropReadAhead(std::deque<ReadAheadItem>::iterator end);
    std::vector<std::string> expected_;
    size_t nextExpected_ = 0;
    std::deque<ReadAheadItem> ahead_;
};

class ActionImpl final : public ISwfAction {
public:
    void MakeActionStop() override { stop_ = true; }
    bool IsStop() const { return stop_; }

private:
    bool stop_ = false;
};

}  // namespace swf
