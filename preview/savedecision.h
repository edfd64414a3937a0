#pragma once

// What "Save Results To Word File" does with the name its dialog returned.
namespace SaveDecision
{

// The answer to the overwrite question; NotAsked until it has been put.
enum class Answer { NotAsked, Yes, No };

// A name with nothing at it needs no question: the answer is Yes.
constexpr Answer withoutQuestion()
{
    return Answer::Yes;
}

// Only Yes copies.
constexpr bool copies(Answer answer)
{
    return answer == Answer::Yes;
}

} // namespace SaveDecision
