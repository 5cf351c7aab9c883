// The five writer objects an export drives. The program creates them once at
// start-up and keeps them for the run; tests put recorders of calls in place.
#pragma once

#include <memory>

#include "swf/Swf.h"

struct TSwfWriters {
    swf::ISwfMovie& SwfMovie;
    swf::ISwfObject& SwfMedia; // pictures, clicks, sounds and the cursor arrow
    swf::ISwfObject& SwfFont;
    swf::ISwfObject& SwfText;
    swf::ISwfAction& SwfAction;
};

// Owns a set of real writer objects.
struct TSwfWriterSet {
    std::unique_ptr<swf::ISwfMovie> SwfMovie = swf::CreateMovie();
    std::unique_ptr<swf::ISwfObject> SwfMedia = swf::CreateObject();
    std::unique_ptr<swf::ISwfObject> SwfFont = swf::CreateObject();
    std::unique_ptr<swf::ISwfObject> SwfText = swf::CreateObject();
    std::unique_ptr<swf::ISwfAction> SwfAction = swf::CreateAction();

    TSwfWriters Writers() { return {*SwfMovie, *SwfMedia, *SwfFont, *SwfText, *SwfAction}; }
};
