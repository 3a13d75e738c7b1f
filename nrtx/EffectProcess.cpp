#include "nrtx/EffectProcess.h"

#include <cstring>

#include "nrtx/NrtxError.h"
#include "nrtx/ProcessGroup.h"

namespace {

void putBigEndian(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

std::uint32_t getBigEndian(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

constexpr int kHeader = static_cast<int>(sizeof(nrtx::ChunkHeader));

}  // namespace

CEffectProcess::CEffectProcess(CProcessGroup& group, const CEffectType& type)
    : group_(group), type_(type) {
    group_.Register(this);
}

CEffectProcess::~CEffectProcess() {
    group_.Unregister(this);
}

void CEffectProcess::AddControl(std::unique_ptr<CPluginControl> control) {
    if (control) controls_.push_back(std::move(control));
}

CPluginControl* CEffectProcess::GetControl(int index) const {
    if (index < 1 || index > GetNumControls()) return nullptr;
    return controls_[static_cast<size_t>(index - 1)].get();
}

void CEffectProcess::SetControlValueFromPlugIn(int index, std::int32_t value) {
    CPluginControl* control = GetControl(index);
    if (control == nullptr) return;
    control->SetValue(value);
    if (listener_ != nullptr) listener_->controlChanged(index, value);
}

void CEffectProcess::AddChunk(std::uint32_t id, const char* name, int size) {
    if (id == nrtx::kControlsChunkId || findChunk(id) != nullptr)
        throw nrtx::CNrtxException(nrtx::kErrBadType);
    chunks_.push_back({id, name ? name : "", size});
}

int CEffectProcess::GetRegisteredChunkSize(std::uint32_t id) const {
    const Chunk* c = findChunk(id);
    return c ? c->size : 0;
}

int CEffectProcess::GetMainChannels() const {
    return type_.info.formatValues[0] == 1 ? 1 : 2;
}

bool CEffectProcess::HasKeyInput() const {
    return type_.info.formatValues[1] == 1;
}

bool CEffectProcess::IsOffline() const {
    return type_.info.kind == nrtx::TypeKind::Offline;
}

const CEffectProcess::Chunk* CEffectProcess::findChunk(std::uint32_t id) const {
    for (const Chunk& c : chunks_)
        if (c.id == id) return &c;
    return nullptr;
}

void CEffectProcess::release() {
    delete this;
}

bool CEffectProcess::controlName(std::int32_t index, char* text, std::int32_t capacity) {
    const CPluginControl* c = GetControl(index);
    if (c == nullptr || text == nullptr || capacity < 1) return false;
    std::strncpy(text, c->GetName().c_str(), static_cast<size_t>(capacity) - 1);
    text[capacity - 1] = '\0';
    return true;
}

nrtx::ControlKind CEffectProcess::controlKind(std::int32_t index) {
    const CPluginControl* c = GetControl(index);
    return c && c->IsOnOff() ? nrtx::ControlKind::OnOff : nrtx::ControlKind::Continuous;
}

std::int32_t CEffectProcess::controlValue(std::int32_t index) {
    const CPluginControl* c = GetControl(index);
    return c ? c->GetValue() : 0;
}

std::int32_t CEffectProcess::controlDefault(std::int32_t index) {
    const CPluginControl* c = GetControl(index);
    return c ? c->GetDefaultValue() : 0;
}

void CEffectProcess::controlText(std::int32_t index, std::int32_t value, char* text,
                                 std::int32_t maxLength) {
    if (text == nullptr || maxLength < 0) return;
    text[0] = '\0';
    const CPluginControl* c = GetControl(index);
    if (c == nullptr) return;
    try {
        const std::string s = c->GetValueString(value, maxLength);
        const size_t n = s.size() < static_cast<size_t>(maxLength) ? s.size() : maxLength;
        std::memcpy(text, s.data(), n);
        text[n] = '\0';
    } catch (...) {
        text[0] = '\0';
    }
}

void CEffectProcess::setControlValue(std::int32_t index, std::int32_t value) {
    CPluginControl* c = GetControl(index);
    if (c == nullptr) return;
    c->SetValue(value);
    try {
        UpdateControlValue(index, value);
    } catch (...) {
    }
}

std::uint32_t CEffectProcess::chunkId(std::int32_t i) {
    if (i == 0) return nrtx::kControlsChunkId;
    if (i < 1 || i > static_cast<std::int32_t>(chunks_.size())) return 0;
    return chunks_[static_cast<size_t>(i - 1)].id;
}

std::int32_t CEffectProcess::chunkDataSize(std::uint32_t id) {
    if (id == nrtx::kControlsChunkId) return 4 * GetNumControls();
    if (findChunk(id) == nullptr) return -1;
    try {
        // Asked each time: the plug-in's state may have grown since registration.
        return GetChunkDataSize(id);
    } catch (...) {
        return -1;
    }
}

std::int32_t CEffectProcess::chunkSize(std::uint32_t id) {
    const std::int32_t data = chunkDataSize(id);
    return data < 0 ? 0 : data + kHeader;
}

std::int32_t CEffectProcess::getChunk(std::uint32_t id, void* record, std::int32_t capacity) {
    const std::int32_t data = chunkDataSize(id);
    if (data < 0 || record == nullptr || capacity < kHeader + data) return 0;
    auto* bytes = static_cast<unsigned char*>(record);
    nrtx::ChunkHeader header{};
    header.id = id;
    header.version = 1;
    std::int32_t written = 0;
    if (id == nrtx::kControlsChunkId) {
        std::strncpy(header.name, "Complete Controls State", sizeof header.name - 1);
        for (int i = 1; i <= GetNumControls(); ++i)
            putBigEndian(bytes + kHeader + 4 * (i - 1),
                         static_cast<std::uint32_t>(GetControl(i)->GetValue()));
        written = data;
    } else {
        std::strncpy(header.name, findChunk(id)->name.c_str(), sizeof header.name - 1);
        try {
            written = GetChunkData(id, bytes + kHeader, capacity - kHeader);
        } catch (...) {
            return 0;
        }
        if (written < 0 || written > capacity - kHeader) return 0;
    }
    header.size = written + kHeader;
    std::memcpy(bytes, &header, sizeof header);
    return header.size;
}

bool CEffectProcess::setChunk(const void* record, std::int32_t length) {
    if (record == nullptr || length < kHeader) return false;
    nrtx::ChunkHeader header;
    std::memcpy(&header, record, sizeof header);
    if (header.size < kHeader || header.size > length) return false;
    const auto* data = static_cast<const unsigned char*>(record) + kHeader;
    const int dataLength = header.size - kHeader;
    if (header.id == nrtx::kControlsChunkId) {
        const int n = dataLength / 4 < GetNumControls() ? dataLength / 4 : GetNumControls();
        for (int i = 1; i <= n; ++i)
            setControlValue(i, static_cast<std::int32_t>(getBigEndian(data + 4 * (i - 1))));
        return true;
    }
    if (findChunk(header.id) == nullptr) return false;
    try {
        SetChunkData(header.id, data, dataLength);
    } catch (...) {
        return false;
    }
    return true;
}

void CEffectProcess::render(nrtx::RenderBlock* block) {
    if (block == nullptr) return;
    block->consumed = block->written = 0;
    if (block->frames <= 0) return;
    const CPluginControl* bypass = GetControl(nrtx::kMasterBypassControl);
    RenderAudio(*block, bypass != nullptr && bypass->IsOnOff() &&
                            CPluginControl_OnOff::IsOn(bypass->GetValue()));
}

void CEffectProcess::viewSize(std::int32_t* width, std::int32_t* height) {
    int w = 0, h = 0;
    try {
        ViewSize(&w, &h);
    } catch (...) {
        w = h = 0;
    }
    if (width) *width = w;
    if (height) *height = h;
}

void CEffectProcess::viewOpen(std::uintptr_t parent) {
    try {
        ViewOpen(parent);
    } catch (...) {
    }
}

void CEffectProcess::viewClose() {
    try {
        ViewClose();
    } catch (...) {
    }
}

void CEffectProcess::viewIdle() {
    try {
        ViewIdle();
    } catch (...) {
    }
}

void CEffectProcess::viewRedraw() {
    try {
        ViewRedraw();
    } catch (...) {
    }
}
