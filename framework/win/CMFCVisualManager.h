#pragma once
// The look the program asked for. Controls are drawn by the system in the
// native style that the manifest selects; this only records the choice:
//
//   CMFCVisualManager::SetDefaultManager(RUNTIME_CLASS(CMFCVisualManagerWindows));

#include <memory>
#include <type_traits>

class CMFCVisualManager {
public:
    virtual ~CMFCVisualManager() = default;

    template <class Manager>
    static void SetDefaultManager(std::type_identity<Manager>)
    {
        static_assert(std::is_base_of_v<CMFCVisualManager, Manager>);
        Install(std::make_unique<Manager>());
    }

    // The recorded manager, or null when none was chosen.
    static CMFCVisualManager* GetInstance();

private:
    static void Install(std::unique_ptr<CMFCVisualManager> manager);
};

// Names a class for SetDefaultManager.
#define RUNTIME_CLASS(class_name) (std::type_identity<class_name>{})
