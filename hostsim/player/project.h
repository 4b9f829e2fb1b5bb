#pragma once
// The project format: one command per line, '#' starts a comment. A project
// is read and checked whole before anything runs, so a broken line stops it
// before its first step. FORMAT.md describes the commands.
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "hostsim/player/descriptions.h"

namespace zqplay {

// A value as written. Names stay names until the run resolves them.
struct ProjectValue {
    enum class Kind { Empty, Message, Integer, Boolean, Float, Point, Event, String, Reference, LongReference };
    Kind kind = Kind::Empty;
    int32_t a = 0;  // integer, boolean, event code, point x
    int32_t b = 0;  // event qualifier, point y
    double real = 0;
    std::string text;  // a string's text, or the name a reference names
};

enum class Verb {
    Element, String, Integer, Float, Point, Create, Set, Field, Compact, Activate, Deactivate, Destroy,
    Send, Deliver, Draw, Fill, Show, Get, Expect, ExpectPrintout, Save, Load, Picture, Folder, Remember,
    Describe, Echo,
};

// Test pictures: 8-bit, in the grey or the colour palette.
enum class PictureStyle { Grey, Bars, Checker, Gradient };

struct Command {
    int line = 0;
    Verb verb = Verb::Echo;
    std::string text;        // the command as written, for the progress line
    std::string target;      // the element, variable or instance it acts on
    std::string element;     // create ... on ELEMENT
    std::string file;        // show, save, load, picture, folder
    std::string attribute;   // get, expect
    std::string printer;     // when printer NAME: runs only with that default printer
    const Component* component = nullptr;  // create, set, describe
    const Field* field = nullptr;          // set
    ProjectValue value;
    bool hasValue = false;   // send and deliver carry one
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t width = 0, height = 0;  // element surface, picture size
    uint32_t code = 0, qualifier = 0;
    int32_t number = 0;      // offset, fill index, pages
    bool bottomUp = false;   // element
    bool colour = false;     // element: the colour palette
    bool wholeSurface = false;  // show ELEMENT FILE stage
    PictureStyle style = PictureStyle::Grey;
};

struct Project {
    std::vector<Command> commands;
};

struct ProjectError {
    int line = 0;  // 0: the file as a whole
    std::string message;
};

[[nodiscard]] bool ParseProject(std::istream& in, Project& project, ProjectError& error);

}  // namespace zqplay
