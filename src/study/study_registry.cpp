#include "study/study_registry.h"

#include <algorithm>

namespace quillon {

const StudyEntry* FindStudy(std::string_view name) {
    for (const StudyEntry* study : RegisteredStudies)
        if (study->name == name)
            return study;
    return nullptr;
}

bool StudyOwnsSummaryFile(std::string_view study, std::string_view file) {
    const StudyEntry* entry = FindStudy(study);
    return entry != nullptr && std::find(entry->summaryFiles.begin(), entry->summaryFiles.end(),
                                         file) != entry->summaryFiles.end();
}

std::vector<std::string> AllSummaryFiles() {
    std::vector<std::string> files;
    for (const StudyEntry* study : RegisteredStudies)
        for (std::string_view file : study->summaryFiles)
            files.emplace_back(file);
    return files;
}

} // namespace quillon
