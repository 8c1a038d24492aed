#pragma once
// What the document tells the views of its window. Each view registers itself for its
// place (the group tree, the item list, the log) while it lives; the document tells
// the places in that order and skips an empty one. Application thread only.
class CGroup;

class CDocListener {
public:
    virtual ~CDocListener() = default;
    // The document changed: the view redraws from it.
    virtual void OnUpdate() = 0;
    // A transaction of the group went out: the item list watches it until it is
    // answered or times out.
    virtual void StartWatchdog(const CGroup& /*group*/) {}
};
